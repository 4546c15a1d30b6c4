// A whole print job driven through the plug-in from module load to unload,
// the way Unidrv runs one.
#pragma once

#include "host/standin.h"

#include <functional>
#include <memory>
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
    // Whether the outcome lists every call that reached Unidrv's own entry
    // points; off, a job's memory does not grow with its pages.
    bool keepUnidrvCalls = true;
    // The printer configuration's job-setup commands: Unidrv sends them at
    // the job's start, ahead of everything the plug-in writes.
    std::vector<BYTE> jobSetup;
};

struct LabelJob : JobSettings {
    std::vector<PageBitmap> pages;
    PageSource* source = nullptr; // the pages, when not in `pages`
    LONG bandHeight = 64;
    DWORD imageCallbackId = 1;
    int documents = 1; // the same pages again in each further document
    // CommandCallback IDs after each DrvStartDoc, before the first page: what
    // the printer configuration calls back when a job chooses its mode.
    std::vector<DWORD> documentCallbacks;
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

// One job as Unidrv runs it, held open: the plug-in started and the device
// enabled when it is made, the device disabled and the plug-in shut down at
// finish(). For a host that is handed pages rather than asking for them.
class JobRun {
  public:
    JobRun(const PluginModule& module, const JobSettings& settings);
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;
    ~JobRun();

    // The enabled device, or null when the plug-in refused to start.
    Device* device() { return enabled_ ? device_.get() : nullptr; }
    JobOutcome& outcome() { return outcome_; }
    // Ends the job; the outcome holds what the job wrote and left behind.
    JobOutcome finish();

  private:
    UnidrvStandIn unidrv_;
    std::unique_ptr<Device> device_;
    JobOutcome outcome_;
    bool enabled_ = false;
    bool finished_ = false;
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

// A label job's pages handed in one at a time: the document starts when the
// run is made (with the job's document callbacks) and ends at finish().
class LabelJobRun {
  public:
    LabelJobRun(const PluginModule& module, const LabelJob& job);
    // One page through the plug-in; false once the job cannot go on.
    bool printPage(const PageView& page);
    // DrvEndDoc (as aborted when `abort` or a page failed), then the end of
    // the job.
    JobOutcome finish(bool abort = false);

  private:
    const LabelJob& job_;
    JobRun run_;
    bool stopped_ = false;
};

} // namespace standin
