// PAPPL 1.3.1 does not keep a printer's pause in its state: a printer paused
// before a restart (or a crash) came back printing. The program defines
// papplPrinterPause and papplPrinterResume (PAPPL calls them through its
// procedure linkage table for Pause-Printer, Resume-Printer and its web
// page) to keep the pause with the printer's settings; a loaded printer is
// paused again (app_system.cpp). The build leaves this file out from PAPPL
// 1.4 on.
#include "printerapp/system/app_context.h"

#include <dlfcn.h>

extern "C" void papplPrinterPause(pappl_printer_t* printer) {
    using Pause = void (*)(pappl_printer_t*);
    static const auto library = reinterpret_cast<Pause>(dlsym(RTLD_NEXT, "papplPrinterPause"));
    library(printer);
    if (printer && appContext().printers)
        appContext().printers->setPaused(papplPrinterGetID(printer), true);
}

extern "C" void papplPrinterResume(pappl_printer_t* printer) {
    using Resume = void (*)(pappl_printer_t*);
    static const auto library = reinterpret_cast<Resume>(dlsym(RTLD_NEXT, "papplPrinterResume"));
    library(printer);
    if (printer && appContext().printers)
        appContext().printers->setPaused(papplPrinterGetID(printer), false);
}
