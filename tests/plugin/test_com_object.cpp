// The module's exports, the class factory and the plug-in object as COM
// clients see them, including the binary shape Unidrv relies on.
#include "platform/host/test_controls.h"
#include "platform/last_error.h"
#include "platform/unidrv.h"
#include "plugin/class_factory.h"
#include "support/linked_module.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

constexpr CLSID kOtherClass = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

IClassFactory* makeFactory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(
        DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    return factory;
}

IPrintOemUni* makeObject() {
    IClassFactory* factory = makeFactory();
    IPrintOemUni* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUni, reinterpret_cast<void**>(&object)),
              S_OK);
    factory->Release();
    return object;
}

// The count that follows the table pointer, where a shared AddRef finds it.
LONG firstDataMember(void* object) {
    LONG value;
    std::memcpy(&value, static_cast<char*>(object) + sizeof(void*), sizeof value);
    return value;
}

// A driver services provider that counts what the plug-in does with it.
struct ServicesProvider : IUnknown {
    HRESULT answer = S_OK;
    int queries = 0;
    int references = 1;
    HRESULT STDCALL QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (answer != S_OK || !isEqualGuid(riid, IID_IPrintOemDriverUni)) {
            *ppv = nullptr;
            return answer != S_OK ? answer : E_NOINTERFACE;
        }
        *ppv = this; // stands in for the services interface; only Release is called
        ++references;
        return S_OK;
    }
    ULONG STDCALL AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDCALL Release() override { return static_cast<ULONG>(--references); }
};

} // namespace

TEST(ModuleExports, ServesOnlyTheRenderingClass) {
    void* untouched = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(DllGetClassObject(kOtherClass, IID_IClassFactory, &untouched),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1234));

    void* factory = &untouched;
    EXPECT_EQ(DllGetClassObject(CLSID_OEMRENDER, IID_IPrintOemUni, &factory), E_NOINTERFACE);
    EXPECT_EQ(factory, nullptr);
}

TEST(ModuleExports, FactoryStartsWithOneReference) {
    IClassFactory* factory = makeFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(firstDataMember(factory), 1);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST(ModuleExports, FactoryAnswersOnlyItsInterfaces) {
    IClassFactory* factory = makeFactory();
    void* out = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, factory);
    factory->Release();
    EXPECT_EQ(factory->QueryInterface(IID_IPrintOemUni, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST(ModuleExports, CreateInstanceRefusesAggregationAndForeignInterfaces) {
    IClassFactory* factory = makeFactory();
    ServicesProvider outer;
    void* out = reinterpret_cast<void*>(0x99);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IPrintOemUni, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, reinterpret_cast<void*>(0x99));
    const auto live = platform::host::liveAllocations();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(platform::host::liveAllocations(), live);
    factory->Release();
}

TEST(ModuleExports, OnlyServerLocksHoldTheModule) {
    IClassFactory* factory = makeFactory();
    IPrintOemUni* object = makeObject();
    EXPECT_EQ(DllCanUnloadNow(), S_OK) << "live objects do not hold the module";

    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    factory->LockServer(FALSE);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    factory->LockServer(FALSE); // no floor: the count goes negative
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    factory->LockServer(TRUE);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    object->Release();
    factory->Release();
}

TEST(PluginObject, AnswersIUnknownAndIPrintOemUniOnly) {
    IPrintOemUni* object = makeObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(firstDataMember(object), 1);
    for (const IID& iid : {IID_IPrintOemDriverUni, IID_IClassFactory}) {
        void* out = object;
        EXPECT_EQ(object->QueryInterface(iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    void* out = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
}

TEST(PluginObject, GetInfo) {
    struct Case {
        const char* name;
        DWORD mode;
        DWORD bufferSize;
        bool nullBuffer;
        bool nullNeeded;
        HRESULT result;
        DWORD lastError; // 0: left as it was
        DWORD needed;    // 0xDEAD: left as it was
        DWORD value;
    };
    const Case cases[] = {
        {"signature", OEMGI_GETSIGNATURE, 4, false, false, S_OK, 0, 4, 0x57504453},
        {"version in a larger buffer", OEMGI_GETVERSION, 8, false, false, S_OK, 0, 4, 1},
        {"buffer too small", OEMGI_GETSIGNATURE, 3, false, false, E_FAIL, 122, 4, 0},
        {"no buffer", OEMGI_GETVERSION, 4, true, false, E_FAIL, 122, 4, 0},
        {"interface version", OEMGI_GETINTERFACEVERSION, 4, false, false, E_FAIL, 87, 0xDEAD, 0},
        {"unknown mode", 5, 4, false, false, E_FAIL, 87, 0xDEAD, 0},
        {"publisher information", OEMGI_GETPUBLISHERINFO, 100, false, false, E_FAIL, 0, 8, 0},
        {"no size out", OEMGI_GETSIGNATURE, 4, false, true, E_FAIL, 87, 0xDEAD, 0},
    };
    IPrintOemUni* object = makeObject();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<BYTE, 100> buffer{};
        DWORD needed = 0xDEAD;
        platform::setLastError(0);
        EXPECT_EQ(object->GetInfo(c.mode, c.nullBuffer ? nullptr : buffer.data(), c.bufferSize,
                                  c.nullNeeded ? nullptr : &needed),
                  c.result);
        EXPECT_EQ(platform::lastError(), c.lastError);
        EXPECT_EQ(needed, c.needed);
        if (c.result == S_OK) {
            DWORD value;
            std::memcpy(&value, buffer.data(), sizeof value);
            EXPECT_EQ(value, c.value);
        }
    }
    object->Release();
}

TEST(PluginObject, ReportsOnlyItsTwoOptionalMethods) {
    const std::pair<const char*, HRESULT> cases[] = {
        {"ImageProcessing", S_OK},     {"CommandCallback", S_OK},  {"imageprocessing", S_FALSE},
        {"CommandCallbackX", S_FALSE}, {"Image", S_FALSE},         {"", S_FALSE},
        {"TextOutAsBitmap", S_FALSE},  {"OutputCharStr", S_FALSE}, {"I", S_FALSE},
    };
    IPrintOemUni* object = makeObject();
    for (const auto& [name, result] : cases)
        EXPECT_EQ(object->GetImplementedMethod(const_cast<char*>(name)), result) << name;
    object->Release();
}

TEST(PluginObject, HoldsTheDriverServicesOnceAndReleasesThem) {
    IPrintOemUni* object = makeObject();
    ServicesProvider services, later;
    EXPECT_EQ(object->PublishDriverInterface(&services), S_OK);
    EXPECT_EQ(services.references, 2);
    EXPECT_EQ(object->PublishDriverInterface(&later), S_OK);
    EXPECT_EQ(later.queries, 0) << "a second interface is not even asked";
    EXPECT_EQ(object->DisableDriver(), S_OK);
    EXPECT_EQ(services.references, 1);

    EXPECT_EQ(object->PublishDriverInterface(&later), S_OK) << "taken again after DisableDriver";
    object->Release();
    EXPECT_EQ(later.references, 1) << "the last Release lets go of the services";
}

TEST(PluginObject, FailedServicesQueryLeavesNothingHeld) {
    IPrintOemUni* object = makeObject();
    ServicesProvider refusing;
    refusing.answer = E_NOINTERFACE;
    EXPECT_EQ(object->PublishDriverInterface(&refusing), E_FAIL);
    ServicesProvider good;
    EXPECT_EQ(object->PublishDriverInterface(&good), S_OK) << "nothing was held";
    object->Release();
    EXPECT_EQ(good.references, 1);
}

TEST(PluginObject, UnimplementedMethodsTouchNothing) {
    IPrintOemUni* object = makeObject();
    INT result = 77;
    DWORD dword = 77;
    EXPECT_EQ(object->FilterGraphics(nullptr, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(object->Compression(nullptr, nullptr, nullptr, 0, 0, &result), E_NOTIMPL);
    EXPECT_EQ(object->HalftonePattern(nullptr, nullptr, 0, 0, 0, 0, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(object->MemoryUsage(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(object->TTYGetInfo(nullptr, 0, nullptr, 0, &dword), E_NOTIMPL);
    EXPECT_EQ(object->DownloadFontHeader(nullptr, nullptr, &dword), E_NOTIMPL);
    EXPECT_EQ(object->DownloadCharGlyph(nullptr, nullptr, 0, &dword, &dword), E_NOTIMPL);
    EXPECT_EQ(object->TTDownloadMethod(nullptr, nullptr, &dword), E_NOTIMPL);
    EXPECT_EQ(object->SendFontCmd(nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(result, 77);
    EXPECT_EQ(dword, 77u);
    EXPECT_EQ(object->DriverDMS(nullptr, nullptr, 0, &dword), S_OK);
    EXPECT_EQ(dword, 77u);
    EXPECT_EQ(object->ResetPDEV(nullptr, nullptr), S_OK);
    object->Release();
}

TEST(PluginObject, OutputCharStrLeavesOneDebugLine) {
    IPrintOemUni* object = makeObject();
    platform::host::takeDebugOutput();
    EXPECT_EQ(object->OutputCharStr(nullptr, nullptr, 0, 0, nullptr), E_NOTIMPL);
    EXPECT_EQ(platform::host::takeDebugOutput(), "IOEMUni::OutputCharStr() entry.\r\n");
    object->Release();
}

TEST(PluginObject, MethodTableKeepsThePublishedSlots) {
    // Unidrv calls through table slots, not names: check the slots it uses
    // by calling through them directly.
    IPrintOemUni* object = makeObject();
    void** table = *reinterpret_cast<void***>(object);

    using GetInfoSlot = HRESULT(STDCALL*)(void*, DWORD, PVOID, DWORD, PDWORD);
    DWORD signature = 0, needed = 0;
    EXPECT_EQ(
        reinterpret_cast<GetInfoSlot>(table[3])(object, OEMGI_GETSIGNATURE, &signature, 4, &needed),
        S_OK);
    EXPECT_EQ(signature, 0x57504453u);

    using NameSlot = HRESULT(STDCALL*)(void*, PSTR);
    EXPECT_EQ(reinterpret_cast<NameSlot>(table[11])(object, const_cast<char*>("CommandCallback")),
              S_OK);

    using CallbackSlot = HRESULT(STDCALL*)(void*, PDEVOBJ, DWORD, DWORD, PDWORD, INT*);
    INT result = 5;
    EXPECT_EQ(reinterpret_cast<CallbackSlot>(table[13])(object, nullptr, 12, 0, nullptr, &result),
              S_OK);
    EXPECT_EQ(result, 0);

    using ImageSlot = HRESULT(STDCALL*)(void*, PDEVOBJ, PBYTE, BITMAPINFOHEADER*, PBYTE, DWORD,
                                        IPPARAMS*, PBYTE*);
    BYTE band[4] = {};
    PBYTE handedBack = nullptr;
    EXPECT_EQ(reinterpret_cast<ImageSlot>(table[14])(object, nullptr, band, nullptr, nullptr, 1,
                                                     nullptr, &handedBack),
              S_OK);
    EXPECT_EQ(handedBack, band);

    using ReleaseSlot = ULONG(STDCALL*)(void*);
    EXPECT_EQ(reinterpret_cast<ReleaseSlot>(table[2])(object), 0u);
}
