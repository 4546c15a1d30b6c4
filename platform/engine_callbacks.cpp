#include "platform/engine_callbacks.h"

#include "platform/engine_entry.h"

#include <atomic>

namespace platform {
namespace {

// Looks the service up once; a later call reuses what was found.
template <typename Fn> Fn resolve(std::atomic<void*>& cache, const char* name) {
    void* entry = cache.load(std::memory_order_acquire);
    if (!entry) {
        entry = findEngineEntry(name);
        cache.store(entry, std::memory_order_release);
    }
    return functionCast<Fn>(entry);
}

} // namespace

PFN_FONTOBJ_pifi engineFontObjPifi() {
    static std::atomic<void*> entry{nullptr};
    return resolve<PFN_FONTOBJ_pifi>(entry, "FONTOBJ_pifi");
}

PFN_FONTOBJ_pxoGetXform engineFontObjGetXform() {
    static std::atomic<void*> entry{nullptr};
    return resolve<PFN_FONTOBJ_pxoGetXform>(entry, "FONTOBJ_pxoGetXform");
}

PFN_XFORMOBJ_bApplyXform engineXformObjApplyXform() {
    static std::atomic<void*> entry{nullptr};
    return resolve<PFN_XFORMOBJ_bApplyXform>(entry, "XFORMOBJ_bApplyXform");
}

PFN_STROBJ_vEnumStart engineStrObjEnumStart() {
    static std::atomic<void*> entry{nullptr};
    return resolve<PFN_STROBJ_vEnumStart>(entry, "STROBJ_vEnumStart");
}

PFN_STROBJ_bEnum engineStrObjEnum() {
    static std::atomic<void*> entry{nullptr};
    return resolve<PFN_STROBJ_bEnum>(entry, "STROBJ_bEnum");
}

} // namespace platform
