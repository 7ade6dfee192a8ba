// The interface dialogs of the first run: TIOset asks for the card in the PC
// (bus type and port address), TNwset for the emulator's network address.
// Their OK writes the value into every configuration file of the
// installation and journals it (cfg_ioset.h); Cancel changes nothing, so the
// next start asks again.
#pragma once

#include <string>

#include "platform/vcl/vcl_forms.h"

class TIOset : public vcl::TForm {
 public:
  TIOset();

  vcl::TRadioGroup* HostRG;
  vcl::TLabel* Ladr;
  vcl::TEdit* Eadr;
  vcl::TButton* OKbtn;
  vcl::TButton* CANbtn;

  // The read-me viewer beside the dialog; the program sets it when it makes
  // its forms.
  vcl::TNotifyEvent OnShowReadMe;

  void HostRGClick();
  void FormActivate();
  void OKbtnClick();
};

class TNwset : public vcl::TForm {
 public:
  TNwset();

  vcl::TLabel* IPADRlab;
  vcl::TEdit* IPadr;
  vcl::TButton* OkBTN;
  vcl::TButton* CanBTN;

  void OkBTNClick();
};

// The bus types of HostRG, in item order.
enum class HostBus : int { Isa = 0, Cbus = 1, Pcmcia = 2, Pci = 3 };
