// label-printer-app: makes a USB or network label printer a driverless IPP
// Everywhere printer. Every label goes through the same plug-in code, and
// the printer receives the same bytes, as labelprint and the Windows DLL.
#include "printerapp/app_system.h"
#include "project_version.h"

#include <pappl/pappl.h>

int main(int argc, char* argv[]) {
    // The drivers are the system's own (createSystem), where the callback
    // for new printers is set with them.
    return papplMainloop(argc, argv, kProjectVersion, nullptr, 0, nullptr, nullptr, nullptr,
                         nullptr, nullptr, createSystem, nullptr, nullptr);
}
