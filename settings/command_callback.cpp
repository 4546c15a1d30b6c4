#include "settings/command_callback.h"

#include "settings/oem_devmode.h"

std::atomic<DWORD> textMode{0};

HRESULT commandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, INT* piResult) {
    switch (dwCallbackID) {
    case kCallbackLabelMode:
        textMode.store(0, std::memory_order_relaxed);
        break;
    case kCallbackTextMode:
        textMode.store(1, std::memory_order_relaxed);
        break;
    case kCallbackFlagOff:
    case kCallbackFlagOn:
        if (pdevobj && pdevobj->pOEMDM)
            static_cast<OemDevMode*>(pdevobj->pOEMDM)->callbackFlag =
                dwCallbackID == kCallbackFlagOn ? 1 : 0;
        break;
    default:
        break;
    }
    if (piResult)
        *piResult = 0;
    return S_OK;
}
