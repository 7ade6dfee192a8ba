// One list that puts every area of the setup program back to its start-up values.
#include "rz7set/cfg_ioset.h"
#include "rz7set/mon_build.h"
#include "rz7set/opt_forms.h"
#include "rz7set/set_state.h"

void set_reset_state() {
  Setup = SetupState{};
  SetTexts = SetupTexts{};
  MainSt = MainFormState{};
  opt_reset_state();
  cfg_reset_state();
  mon_reset_state();
}
