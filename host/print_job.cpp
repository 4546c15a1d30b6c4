#include "host/print_job.h"

namespace standin {

JobOutcome runJob(const PluginModule& module, const PaperSettings& paper,
                  const std::function<void(OemDevMode&)>& editSettings,
                  const std::function<void(Device&, JobOutcome&)>& documents,
                  const WritePaths& writePaths) {
    JobOutcome outcome;
    UnidrvStandIn unidrv(module, writePaths);
    if (!unidrv.startUp(outcome.error))
        return outcome;
    const DEVMODEW publicDm = makePublicDevMode(paper);
    OemDevMode privateDm{};
    if (!unidrv.privateSettingsFor(publicDm, privateDm, outcome.error, editSettings))
        return outcome;
    auto device = unidrv.makeDevice(publicDm, privateDm);
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

JobOutcome printLabelJob(const PluginModule& module, const LabelJob& job) {
    return runJob(
        module, job.paper, job.editSettings,
        [&job](Device& device, JobOutcome& outcome) {
            for (int document = 0; document < job.documents; ++document) {
                device.startDoc();
                for (const PageBitmap& page : job.pages) {
                    startPageOf(device, outcome);
                    device.renderPage(page, job.bandHeight, job.imageCallbackId);
                    device.sendPage();
                }
                device.endDoc();
            }
        },
        job.writePaths);
}

} // namespace standin
