// halv80: the debugger's window program.
#include "halv80/gui/app_main.h"
#include "platform/owl/owl_app.h"

int main(int argc, char** argv) { return owl_run_main(argc, argv, app_main); }
