// Linked into the test programs of the sanitizer build: the leak checker's
// default suppressions. fontconfig keeps its caches, filled when Qt first
// looks up a font, for the life of the process and never frees them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
