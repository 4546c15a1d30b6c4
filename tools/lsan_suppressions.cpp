// Leaks that are not the project's to fix, known to LeakSanitizer from the
// start in every program that reads PDF labels (labelprint and the tests):
// fontconfig keeps a little of what it allocates when poppler first looks up
// a standard font.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
