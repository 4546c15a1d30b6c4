// A whole print job driven through the plug-in from module load to unload,
// the way Unidrv runs one.
#pragma once

#include "host/standin.h"

#include <functional>
#include <vector>

namespace standin {

// What every job needs of Unidrv, whatever it prints.
struct JobSettings {
    PaperSettings paper;
    WritePaths writePaths;
    std::function<void(OemDevMode&)> editSettings; // the user's private settings
    // Where the spool stream goes as it is written; null keeps it in the
    // outcome. A job stops after the page during which its sink failed.
    SpoolSink* sink = nullptr;
};

struct LabelJob : JobSettings {
    std::vector<PageBitmap> pages;
    PageSource* source = nullptr; // the pages, when not in `pages`
    LONG bandHeight = 64;
    DWORD imageCallbackId = 1;
    int documents = 1; // the same pages again in each further document
};

struct JobOutcome {
    bool ok = false;
    std::string error;
    std::vector<BYTE> spool;
    std::vector<std::string> unidrvCalls;
    HRESULT canUnloadNow = S_FALSE;
    LONG servicesReferences = 0; // what the plug-in still holds at the end
    std::size_t writesThrough[kSpoolRouteCount] = {};
};

// Runs one job as Unidrv does, from the plug-in's start-up to the module's
// unload question: `documents` drives the enabled device in between.
JobOutcome runJob(const PluginModule& module, const JobSettings& settings,
                  const std::function<void(Device&, JobOutcome&)>& documents);

// DrvStartPage, noting in the outcome when the plug-in refused the page.
bool startPageOf(Device& device, JobOutcome& outcome);
// DrvSendPage, then the end of the page for the job's sink; false, noted in
// the outcome, when the sink has failed.
bool sendPageOf(Device& device, const JobSettings& settings, JobOutcome& outcome);

JobOutcome printLabelJob(const PluginModule& module, const LabelJob& job);

} // namespace standin
