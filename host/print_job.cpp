#include "host/print_job.h"

namespace standin {

JobOutcome printLabelJob(const PluginModule& module, const LabelJob& job) {
    JobOutcome outcome;
    UnidrvStandIn unidrv(module);
    if (!unidrv.startUp(outcome.error))
        return outcome;
    const DEVMODEW publicDm = makePublicDevMode(job.paper);
    OemDevMode privateDm{};
    if (!unidrv.privateSettingsFor(publicDm, privateDm, outcome.error, job.editSettings))
        return outcome;
    auto device = unidrv.makeDevice(publicDm, privateDm);
    if (!SUCCEEDED(device->enable())) {
        outcome.error = "the plug-in could not enable the device";
        return outcome;
    }
    outcome.ok = true;
    for (int document = 0; document < job.documents; ++document) {
        device->startDoc();
        for (const PageBitmap& page : job.pages) {
            if (!device->startPage()) {
                outcome.ok = false;
                outcome.error = "the plug-in could not start a page";
            }
            device->renderPage(page, job.bandHeight, job.imageCallbackId);
            device->sendPage();
        }
        device->endDoc();
    }
    device->disable();
    outcome.spool = device->spool();
    outcome.unidrvCalls = device->unidrvCalls();
    device.reset();
    outcome.canUnloadNow = unidrv.shutDown();
    outcome.servicesReferences = unidrv.driverServices().references() - 1;
    return outcome;
}

} // namespace standin
