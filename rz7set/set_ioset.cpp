// The interface dialogs and what their buttons do.
#include "rz7set/set_ioset.h"

#include "rz7set/cfg_ioset.h"
#include "rz7set/set_state.h"

using namespace vcl;

TIOset::TIOset() {
  SetCaption(set_res_string(7055));
  HostRG = Add<TRadioGroup>();
  Ladr = Add<TLabel>();
  Eadr = Add<TEdit>();
  OKbtn = Add<TButton>();
  CANbtn = Add<TButton>();
  HostRG->SetCaption(set_res_string(7056));
  HostRG->SetItems({set_res_string(7057), set_res_string(7058), set_res_string(7060), set_res_string(7061)});
  HostRG->SetItemIndex(int(HostBus::Isa));
  Ladr->SetCaption(std::string(kCfgPortKey));
  Ladr->SetFocusControl(Eadr);
  Eadr->SetText(kCfgIsaDefault);
  OKbtn->SetCaption(set_res_string(7059));
  OKbtn->SetModalResult(mrOk);
  OKbtn->SetDefault(true);
  CANbtn->SetCaption(set_res_string(7001));
  CANbtn->SetModalResult(mrCancel);
  CANbtn->SetCancel(true);

  HostRG->SetBounds(12, 12, 296, 140);
  Ladr->SetBounds(12, 166, 110, 20);
  Eadr->SetBounds(128, 162, 180, 24);
  OKbtn->SetBounds(108, 200, 96, 28);
  CANbtn->SetBounds(212, 200, 96, 28);
  SetClientSize(320, 240);

  HostRG->OnClick = [this] { HostRGClick(); };
  OnActivate = [this] { FormActivate(); };
  OKbtn->OnClick = [this] { OKbtnClick(); };
}

void TIOset::HostRGClick() {
  // ISA and C-bus take a typed port address; the two cards name themselves.
  const struct {
    std::string_view value;
    bool editable;
  } items[] = {{kCfgIsaDefault, true}, {kCfgCbusDefault, true}, {kCfgPcmcia, false}, {kCfgPci, false}};
  const int index = HostRG->ItemIndex();
  if (index < 0 || index >= int(std::size(items))) return;
  Eadr->SetText(items[index].value);
  Eadr->SetReadOnly(!items[index].editable);
  Eadr->SetGrayed(!items[index].editable);
}

void TIOset::FormActivate() {
  if (OnShowReadMe) OnShowReadMe();
}

void TIOset::OKbtnClick() { cfg_apply_interface(Eadr->Text()); }

TNwset::TNwset() {
  SetCaption(set_res_string(7062));
  IPADRlab = Add<TLabel>();
  IPadr = Add<TEdit>();
  OkBTN = Add<TButton>();
  CanBTN = Add<TButton>();
  IPADRlab->SetCaption(set_res_string(7063));
  IPADRlab->SetFocusControl(IPadr);
  OkBTN->SetCaption(set_res_string(7059));
  OkBTN->SetModalResult(mrOk);
  OkBTN->SetDefault(true);
  CanBTN->SetCaption(set_res_string(7001));
  CanBTN->SetModalResult(mrCancel);
  CanBTN->SetCancel(true);

  IPADRlab->SetBounds(12, 16, 296, 20);
  IPadr->SetBounds(12, 40, 296, 24);
  OkBTN->SetBounds(108, 80, 96, 28);
  CanBTN->SetBounds(212, 80, 96, 28);
  SetClientSize(320, 120);

  OkBTN->OnClick = [this] { OkBTNClick(); };
}

// The address is written as typed.
void TNwset::OkBTNClick() { cfg_apply_interface(std::string(kCfgNetPrefix) + IPadr->Text()); }
