// Run control.
#include "halv80/engine/run_control.h"

#include "halv80/engine/run_state.h"

constinit RunControlState RunCtl;

void run_control_reset() { RunCtl = RunControlState{}; }

void run_pause_for_access() {}
void run_resume_after_access() {}
