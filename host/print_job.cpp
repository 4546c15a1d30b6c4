#include "host/print_job.h"

namespace standin {

JobOutcome runJob(const PluginModule& module, const JobSettings& settings,
                  const std::function<void(Device&, JobOutcome&)>& documents) {
    JobOutcome outcome;
    UnidrvStandIn unidrv(module, settings.writePaths);
    if (!unidrv.startUp(outcome.error))
        return outcome;
    const DEVMODEW publicDm = makePublicDevMode(settings.paper);
    OemDevMode privateDm{};
    if (!unidrv.privateSettingsFor(publicDm, privateDm, outcome.error, settings.editSettings))
        return outcome;
    auto device = unidrv.makeDevice(publicDm, privateDm);
    device->streamTo(settings.sink);
    if (!SUCCEEDED(device->enable())) {
        outcome.error = "the plug-in could not enable the device";
        return outcome;
    }
    outcome.ok = true;
    documents(*device, outcome);
    device->disable();
    outcome.spool = device->spool();
    outcome.unidrvCalls = device->unidrvCalls();
    for (int route = 0; route < kSpoolRouteCount; ++route)
        outcome.writesThrough[route] = device->writesThrough(static_cast<SpoolRoute>(route));
    device.reset();
    outcome.canUnloadNow = unidrv.shutDown();
    outcome.servicesReferences = unidrv.driverServices().references() - 1;
    return outcome;
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
