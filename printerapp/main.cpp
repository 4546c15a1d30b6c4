// label-printer-app: makes a USB or network label printer a driverless IPP
// Everywhere printer. Every label goes through the same plug-in code, and
// the printer receives the same bytes, as labelprint and the Windows DLL.
#include "printerapp/app_system.h"
#include "printerapp/label_driver.h"
#include "project_version.h"

#include <pappl/pappl.h>

int main(int argc, char* argv[]) {
    static pappl_pr_driver_t drivers[] = {
        {kDriverName, "Label printer 203 dpi", nullptr, nullptr},
    };
    return papplMainloop(argc, argv, kProjectVersion, nullptr,
                         static_cast<int>(sizeof drivers / sizeof drivers[0]), drivers, nullptr,
                         labelDriver, nullptr, nullptr, createSystem, nullptr, nullptr);
}
