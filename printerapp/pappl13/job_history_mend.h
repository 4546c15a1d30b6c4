// A printer's finished jobs kept to its limit under steady load (PAPPL 1.3).
#pragma once

#include <pappl/pappl.h>

// Checks that the printer's record is PAPPL 1.3.1's, before its jobs are
// ever cleaned up by the program; called when a printer is made or loaded.
void checkJobHistoryLayout(pappl_printer_t* printer);
