// Leaks that are not the project's to fix, known to LeakSanitizer from the
// start in every program that reads PDF labels or serves as a printer
// (labelprint, label-printer-app and the tests): fontconfig keeps a little of
// what it allocates when poppler first looks up a standard font, and PAPPL's
// main loop keeps the options it parsed (libcups' option arrays) to the end.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:cupsAddOption\n"
           "leak:libpappl.so\n";
}
