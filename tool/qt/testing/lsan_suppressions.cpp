// Linked into the window tests: LeakSanitizer (in the sanitizer build) ignores what
// fontconfig keeps for the life of the process; its cache is never finalised.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
