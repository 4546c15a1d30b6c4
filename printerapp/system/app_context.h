// What the printer application shares between PAPPL's callbacks: the plug-in,
// the printers' own state, and where the program's files are.
#pragma once

#include "printerapp/printers/printer_state.h"
#include "printerapp/rendering/label_pipeline.h"
#include "printerapp/rendering/render_workers.h"
#include "printerapp/system/job_cleaning.h"
#include "printerapp/system/state_saving.h"
#include "printerapp/system/system_watch.h"

#include <pappl/pappl.h>

#include <memory>
#include <string>

struct AppContext {
    std::string spoolDirectory;
    std::string pluginPath;
    std::string printGroup; // who may print, when not everyone who reaches the server
    PluginEngine engine;    // for raster pages PAPPL hands over as they arrive; loaded then
    std::unique_ptr<PrinterStates> printers;
    std::unique_ptr<RenderWorkers> workers;   // every other job renders in one of the pool's
    std::unique_ptr<JobCleaning> jobCleaning; // while the system runs
    std::unique_ptr<StateSaving> stateSaving; // while the system runs
    std::unique_ptr<SystemWatch> systemWatch; // while the system runs
    // While PAPPL loads its state file the printers' defaults come from it;
    // the settings blocks, loaded afterwards, are what counts.
    bool loadingState = false;
};

// The one context of the program, for callbacks that get no data pointer.
AppContext& appContext();
