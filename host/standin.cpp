#include "host/standin.h"

#include <cstring>
#include <vector>

namespace standin {

DEVMODEW makePublicDevMode(const PaperSettings& paper) {
    DEVMODEW dm{};
    std::memcpy(dm.dmDeviceName, u"Label printer", sizeof u"Label printer");
    dm.dmSpecVersion = 0x0401;
    dm.dmSize = sizeof(DEVMODEW);
    dm.dmDriverExtra = kOemDevModeSize;
    dm.dmOrientation = paper.orientation;
    dm.dmPaperLength = paper.paperLength;
    dm.dmPaperWidth = paper.paperWidth;
    dm.dmScale = 100;
    dm.dmCopies = 1;
    dm.dmPrintQuality = paper.printQuality;
    dm.dmColor = paper.color;
    dm.dmYResolution = paper.yResolution;
    return dm;
}

UnidrvStandIn::UnidrvStandIn(const PluginModule& module, const WritePaths& writePaths)
    : module(module), writePaths(writePaths) {}

UnidrvStandIn::~UnidrvStandIn() {
    if (object)
        shutDown();
}

bool UnidrvStandIn::startUp(std::string& error) {
    IClassFactory* factory = nullptr;
    HRESULT result = module.DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory,
                                              reinterpret_cast<void**>(&factory));
    if (!SUCCEEDED(result) || !factory) {
        error = "the plug-in has no class factory for the rendering class";
        return false;
    }
    result = factory->CreateInstance(nullptr, IID_IPrintOemUni, reinterpret_cast<void**>(&object));
    factory->Release();
    if (!SUCCEEDED(result) || !object) {
        object = nullptr;
        error = "the plug-in's factory made no IPrintOemUni object";
        return false;
    }
    if (writePaths.driverServices && !SUCCEEDED(object->PublishDriverInterface(&services))) {
        error = "the plug-in refused the driver services interface";
        return false;
    }
    reportsImageProcessing =
        object->GetImplementedMethod(const_cast<char*>("ImageProcessing")) == S_OK;
    reportsCommandCallback =
        object->GetImplementedMethod(const_cast<char*>("CommandCallback")) == S_OK;
    object->EnableDriver(DDI_DRIVER_VERSION_NT5, sizeof hooks, &hooks);
    return true;
}

HRESULT UnidrvStandIn::shutDown() {
    if (object) {
        object->DisableDriver();
        object->Release();
        object = nullptr;
    }
    return module.DllCanUnloadNow ? module.DllCanUnloadNow() : S_OK;
}

bool UnidrvStandIn::privateSettingsFor(const DEVMODEW& publicDm, OemDevMode& working,
                                       std::string& error,
                                       const std::function<void(OemDevMode&)>& edit) {
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    param.pPublicDMIn = const_cast<DEVMODEW*>(&publicDm);
    if (object->DevMode(OEMDM_SIZE, &param) != S_OK || param.cbBufSize != sizeof(OemDevMode)) {
        error = "the plug-in reports a private settings size other than 2228 bytes";
        return false;
    }
    // Unidrv's defaults, then the user's copy of them with the user's edits,
    // converted back into the block the job uses.
    OemDevMode defaults{};
    param.pOEMDMOut = &defaults;
    object->DevMode(OEMDM_DEFAULT, &param);
    OemDevMode user = defaults;
    if (edit)
        edit(user);
    working = defaults;
    param.pOEMDMIn = &user;
    param.pOEMDMOut = &working;
    object->DevMode(OEMDM_CONVERT, &param);
    return true;
}

std::unique_ptr<Device> UnidrvStandIn::makeDevice(const DEVMODEW& publicDm,
                                                  const OemDevMode& privateDm) {
    return std::make_unique<Device>(*object, hooks, publicDm, privateDm, writePaths.serviceTable);
}

} // namespace standin
