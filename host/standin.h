// Unidrv and the graphics engine as the plug-in meets them: the stand-in
// reaches the plug-in only through DllGetClassObject, the class factory, the
// IPrintOemUni object and the hook table from EnableDriver.
#pragma once

#include "host/device.h"
#include "host/driver_services.h"
#include "host/plugin_module.h"

#include <functional>
#include <memory>
#include <string>

namespace standin {

// The public settings of a job, as an application's DEVMODE gives them.
struct PaperSettings {
    SHORT orientation = DMORIENT_PORTRAIT;
    SHORT paperWidth = 0;  // tenths of a millimetre
    SHORT paperLength = 0; // tenths of a millimetre
    SHORT printQuality = 203;
    SHORT yResolution = 203;
    SHORT color = DMCOLOR_MONOCHROME;
};

DEVMODEW makePublicDevMode(const PaperSettings& paper);

class UnidrvStandIn {
  public:
    explicit UnidrvStandIn(const PluginModule& module, const WritePaths& writePaths = {});
    UnidrvStandIn(const UnidrvStandIn&) = delete;
    UnidrvStandIn& operator=(const UnidrvStandIn&) = delete;
    ~UnidrvStandIn();

    // Creates the plug-in object through the factory, publishes the driver
    // services (where this Unidrv has them), asks for the optional methods and
    // enables the driver.
    bool startUp(std::string& error);
    // DisableDriver and the last Release; then asks DllCanUnloadNow.
    HRESULT shutDown();

    // The private block as Unidrv would build it for a job: sized and
    // defaulted by the plug-in, edited by the user (`edit`), then converted
    // into the working block.
    bool privateSettingsFor(const DEVMODEW& publicDm, OemDevMode& working, std::string& error,
                            const std::function<void(OemDevMode&)>& edit = {});

    std::unique_ptr<Device> makeDevice(const DEVMODEW& publicDm, const OemDevMode& privateDm);

    IPrintOemUni* plugin() const { return object; }
    const DRVENABLEDATA& pluginHooks() const { return hooks; }
    const DriverServices& driverServices() const { return services; }
    bool imageProcessingReported() const { return reportsImageProcessing; }
    bool commandCallbackReported() const { return reportsCommandCallback; }

  private:
    PluginModule module;
    WritePaths writePaths;
    IPrintOemUni* object = nullptr;
    DRVENABLEDATA hooks{};
    DriverServices services;
    bool reportsImageProcessing = false;
    bool reportsCommandCallback = false;
};

} // namespace standin
