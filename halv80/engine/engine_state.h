// One call that puts every area of the engine back to its start-up values;
// start-up and every test's SetUp make it. The command side must not be
// running (co_end_command_side first).
#pragma once

void reset_engine_state();
