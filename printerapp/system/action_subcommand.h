// The `action` sub-command: has a running server send one of its printers a
// command at once, as the printer's web page does.
//
//     label-printer-app action [-u URI] -d PRINTER -o action=feed|calibrate|beep
#pragma once

#include <cups/cups.h>

// PAPPL's main loop hands the sub-command its options (-d, -u and -o as
// printer-name, printer-uri and the rest); the exit status, the reason on
// standard error when it is not 0.
int runActionSubcommand(const char* baseName, int count, cups_option_t* options);
