// label-printer-app: makes a USB or network label printer a driverless IPP
// Everywhere printer. Every label goes through the same plug-in code, and
// the printer receives the same bytes, as labelprint and the Windows DLL.
#include "printerapp/app_system.h"
#include "printerapp/render_worker.h"
#include "project_version.h"

#include <pappl/pappl.h>

#include <cstring>

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], kRenderWorkerArgument) == 0)
        return runRenderWorker();
    // The drivers are the system's own (createSystem), where the callback
    // for new printers is set with them.
    return papplMainloop(argc, argv, kProjectVersion, nullptr, 0, nullptr, nullptr, nullptr,
                         nullptr, nullptr, createSystem, nullptr, nullptr);
}
