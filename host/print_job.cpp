#include "host/print_job.h"

namespace standin {

JobRun::JobRun(const PluginModule& module, const JobSettings& settings)
    : unidrv_(module, settings.writePaths) {
    if (!unidrv_.startUp(outcome_.error))
        return;
    const DEVMODEW publicDm = makePublicDevMode(settings.paper);
    OemDevMode privateDm{};
    if (!unidrv_.privateSettingsFor(publicDm, privateDm, outcome_.error, settings.editSettings))
        return;
    device_ = unidrv_.makeDevice(publicDm, privateDm);
    device_->streamTo(settings.sink);
    device_->keepUnidrvCalls(settings.keepUnidrvCalls);
    if (!SUCCEEDED(device_->enable())) {
        outcome_.error = "the plug-in could not enable the device";
        return;
    }
    enabled_ = true;
    outcome_.ok = device_->writeUnidrvCommands(settings.jobSetup);
    if (!outcome_.ok)
        outcome_.error = "the spool stream could not be written";
}

JobRun::~JobRun() {
    finish();
}

JobOutcome JobRun::finish() {
    if (finished_ || !enabled_)
        return outcome_;
    finished_ = true;
    device_->disable();
    outcome_.spool = device_->spool();
    outcome_.unidrvCalls = device_->unidrvCalls();
    for (int route = 0; route < kSpoolRouteCount; ++route)
        outcome_.writesThrough[route] = device_->writesThrough(static_cast<SpoolRoute>(route));
    device_.reset();
    outcome_.canUnloadNow = unidrv_.shutDown();
    outcome_.servicesReferences = unidrv_.driverServices().references() - 1;
    return outcome_;
}

JobOutcome runJob(const PluginModule& module, const JobSettings& settings,
                  const std::function<void(Device&, JobOutcome&)>& documents) {
    JobRun run(module, settings);
    if (Device* device = run.device())
        documents(*device, run.outcome());
    return run.finish();
}

bool startPageOf(Device& device, JobOutcome& outcome) {
    if (device.startPage())
        return true;
    outcome.ok = false;
    outcome.error = "the plug-in could not start a page";
    return false;
}

bool sendPageOf(Device& device, const JobSettings& settings, JobOutcome& outcome) {
    device.sendPage();
    if (!settings.sink || settings.sink->pageDone())
        return true;
    outcome.ok = false;
    outcome.error = "the spool stream could not be written";
    return false;
}

namespace {

// The job's pages, from its source or from its own list.
class JobPages {
  public:
    explicit JobPages(const LabelJob& job) : job(job) {}

    std::size_t count() const { return job.source ? job.source->count() : job.pages.size(); }

    bool page(std::size_t index, PageView& page, std::string& error) {
        if (job.source)
            return job.source->page(index, page, error);
        page = job.pages[index].view();
        return true;
    }

  private:
    const LabelJob& job;
};

} // namespace

JobOutcome printLabelJob(const PluginModule& module, const LabelJob& job) {
    return runJob(module, job, [&job](Device& device, JobOutcome& outcome) {
        JobPages pages(job);
        bool stopped = false;
        for (int document = 0; document < job.documents && !stopped; ++document) {
            device.startDoc();
            for (DWORD id : job.documentCallbacks)
                device.commandCallback(id);
            for (std::size_t index = 0; index < pages.count() && !stopped; ++index) {
                PageView page;
                if (!pages.page(index, page, outcome.error)) {
                    outcome.ok = false;
                    stopped = true;
                    break;
                }
                startPageOf(device, outcome);
                device.renderPage(page, job.bandHeight, job.imageCallbackId);
                stopped = !sendPageOf(device, job, outcome);
            }
            // A job that cannot go on ends its document as aborted.
            device.endDoc(stopped ? ED_ABORTDOC : 0);
        }
    });
}

} // namespace standin

namespace standin {

LabelJobRun::LabelJobRun(const PluginModule& module, const LabelJob& job)
    : job_(job), run_(module, job) {
    if (Device* device = run_.device()) {
        device->startDoc();
        for (DWORD id : job.documentCallbacks)
            device->commandCallback(id);
    }
}

bool LabelJobRun::printPage(const PageView& page) {
    Device* device = run_.device();
    if (!device || stopped_)
        return false;
    startPageOf(*device, run_.outcome());
    device->renderPage(page, job_.bandHeight, job_.imageCallbackId);
    stopped_ = !sendPageOf(*device, job_, run_.outcome());
    return !stopped_;
}

JobOutcome LabelJobRun::finish(bool abort) {
    if (Device* device = run_.device())
        device->endDoc(abort || stopped_ ? ED_ABORTDOC : 0);
    return run_.finish();
}

} // namespace standin
