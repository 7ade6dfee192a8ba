// rz7set: the setup and project program.
#include "platform/vcl/vcl_app.h"
#include "rz7set/set_main.h"

int main(int argc, char** argv) { return vcl_run_main(argc, argv, set_win_main); }
