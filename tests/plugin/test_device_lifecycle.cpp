// The hook table the plug-in hands Unidrv, and the per-device record from
// EnablePDEV to DisablePDEV.
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "plugin/driver_lifecycle.h"
#include "plugin/oem_pdev.h"
#include "support/fake_device.h"
#include "text/colour_filter.h"
#include "text/font_file.h"
#include "text/font_metrics.h"
#include "text/text_hook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

class DeviceLifecycle : public ::testing::Test {
  protected:
    DeviceLifecycle() {
        // Without a driver directory no font file is loaded, so the device's
        // own blocks are all that enabling allocates.
        if (const char* directory = std::getenv(kDriverDir))
            savedDriverDir = directory;
        unsetenv(kDriverDir);
        dropFontImage();
        std::memset(&devInfo, 0x6B, sizeof devInfo);
    }
    ~DeviceLifecycle() override {
        platform::host::failNthAllocation(0);
        if (savedDriverDir)
            setenv(kDriverDir, savedDriverDir->c_str(), 1);
    }

    static constexpr const char* kDriverDir = "PRINTER_DRIVER_DIR";
    std::optional<std::string> savedDriverDir;

    // Enables a record with `table` as Unidrv's functions; the caller frees it.
    OemPDEV* enableWith(std::vector<DRVFN> table) {
        DRVENABLEDATA unidrv{DDI_DRIVER_VERSION_NT5, static_cast<ULONG>(table.size()),
                             table.data()};
        PVOID record = nullptr;
        EXPECT_EQ(enablePdev(&devInfo, &unidrv, &record), S_OK);
        return static_cast<OemPDEV*>(record);
    }

    void disable(OemPDEV* record) {
        DEVOBJ devobj{};
        devobj.pdevOEM = record;
        EXPECT_EQ(disablePdev(&devobj), S_OK);
    }

    DEVINFO devInfo;
};

TEST_F(DeviceLifecycle, EnableDriverHandsOverTheTwelveHooksInOrder) {
    DRVENABLEDATA data{};
    ASSERT_EQ(enableDriver(&data), S_OK);
    EXPECT_EQ(data.iDriverVersion, 0x00030000u);
    ASSERT_EQ(data.c, 12u);
    ASSERT_NE(data.pdrvfn, nullptr);
    struct Row {
        ULONG index;
        PFN function;
    };
    const Row rows[] = {
        {18, functionCast<PFN>(DrvBitBlt)},        {20, functionCast<PFN>(DrvStretchBlt)},
        {23, functionCast<PFN>(DrvTextOut)},       {14, functionCast<PFN>(DrvStrokePath)},
        {33, functionCast<PFN>(DrvStartPage)},     {32, functionCast<PFN>(DrvSendPage)},
        {35, functionCast<PFN>(DrvStartDoc)},      {34, functionCast<PFN>(DrvEndDoc)},
        {58, functionCast<PFN>(DrvNextBand)},      {57, functionCast<PFN>(DrvStartBanding)},
        {28, functionCast<PFN>(DrvQueryFontData)}, {53, functionCast<PFN>(DrvQueryAdvanceWidths)},
    };
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(data.pdrvfn[i].iFunc, rows[i].index);
        EXPECT_EQ(data.pdrvfn[i].pfn, rows[i].function);
    }
    EXPECT_EQ(enableDriver(nullptr), S_OK);
}

TEST_F(DeviceLifecycle, EnablePdevStartsAnEmptyRecord) {
    OemPDEV* record = enableWith(fake::unidrvEntryPoints());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(devInfo.cFonts, 1u);
    EXPECT_NE(record->heap, nullptr);
    EXPECT_EQ(record->approHeight, 0);
    EXPECT_EQ(record->rows, nullptr);
    EXPECT_EQ(record->pageOpen, 0u);
    EXPECT_EQ(record->rowCount, 0);
    EXPECT_EQ(record->rowBytes, 0);
    // Only the font count is the plug-in's to set.
    DEVINFO expected;
    std::memset(&expected, 0x6B, sizeof expected);
    expected.cFonts = 1;
    EXPECT_EQ(std::memcmp(&devInfo, &expected, sizeof devInfo), 0);
    disable(record);
}

TEST_F(DeviceLifecycle, EnablePdevFindsUnidrvsFunctionsByIndex) {
    const std::vector<DRVFN> all = fake::unidrvEntryPoints();
    const PFN stranger = functionCast<PFN>(&DrvQueryFontData);
    const PFN secondBitBlt = functionCast<PFN>(&DrvStretchBlt);
    struct Case {
        const char* what;
        std::vector<DRVFN> table;
        std::vector<bool> present; // per hook row
    };
    std::vector<DRVFN> shuffled;
    for (int i = kUnidrvHookCount - 1; i >= 0; --i) {
        shuffled.push_back({1000 + static_cast<ULONG>(i), stranger});
        shuffled.push_back(all[static_cast<std::size_t>((i * 3) % kUnidrvHookCount)]);
    }
    shuffled.push_back({INDEX_DrvQueryFontData, stranger});
    std::vector<DRVFN> withoutNextBand;
    for (const DRVFN& entry : all)
        if (entry.iFunc != INDEX_DrvNextBand)
            withoutNextBand.push_back(entry);
    std::vector<DRVFN> bitBltTwice = all;
    bitBltTwice.push_back({INDEX_DrvBitBlt, secondBitBlt});
    std::vector<DRVFN> bitBltTwiceFirst = {{INDEX_DrvBitBlt, fake::unidrvStub(kRowBitBlt)},
                                           {INDEX_DrvBitBlt, secondBitBlt}};

    const std::vector<bool> allRows(kUnidrvHookCount, true);
    std::vector<bool> noNextBand = allRows;
    noNextBand[kRowNextBand] = false;
    std::vector<bool> onlyBitBlt(kUnidrvHookCount, false);
    onlyBitBlt[kRowBitBlt] = true;

    const Case cases[] = {
        {"in row order", all, allRows},
        {"shuffled among others", shuffled, allRows},
        {"without NextBand", withoutNextBand, noNextBand},
        {"empty", {}, std::vector<bool>(kUnidrvHookCount, false)},
        {"BitBlt twice, at the end", bitBltTwice, allRows},
        {"BitBlt twice, alone", bitBltTwiceFirst, onlyBitBlt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OemPDEV* record = enableWith(c.table);
        ASSERT_NE(record, nullptr);
        for (int row = 0; row < kUnidrvHookCount; ++row) {
            const auto hookRow = static_cast<UnidrvHookRow>(row);
            EXPECT_EQ(record->unidrvHooks[row],
                      c.present[row] ? fake::unidrvStub(hookRow) : nullptr)
                << "row " << row;
        }
        disable(record);
    }
}

TEST_F(DeviceLifecycle, EnablePdevCopesWithoutAUnidrvTable) {
    PVOID record = nullptr;
    ASSERT_EQ(enablePdev(&devInfo, nullptr, &record), S_OK);
    for (const PFN hook : static_cast<OemPDEV*>(record)->unidrvHooks)
        EXPECT_EQ(hook, nullptr);
    disable(static_cast<OemPDEV*>(record));

    DRVENABLEDATA noEntries{DDI_DRIVER_VERSION_NT5, 10, nullptr};
    ASSERT_EQ(enablePdev(&devInfo, &noEntries, &record), S_OK);
    for (const PFN hook : static_cast<OemPDEV*>(record)->unidrvHooks)
        EXPECT_EQ(hook, nullptr);
    disable(static_cast<OemPDEV*>(record));

    // A count of 0 says the table is empty, whatever the pointer shows.
    std::vector<DRVFN> all = fake::unidrvEntryPoints();
    DRVENABLEDATA countZero{DDI_DRIVER_VERSION_NT5, 0, all.data()};
    ASSERT_EQ(enablePdev(&devInfo, &countZero, &record), S_OK);
    for (const PFN hook : static_cast<OemPDEV*>(record)->unidrvHooks)
        EXPECT_EQ(hook, nullptr);
    disable(static_cast<OemPDEV*>(record));
}

TEST_F(DeviceLifecycle, EnablePdevFailsCleanlyWithoutMemory) {
    struct Case {
        const char* what;
        int failing;
        bool fontsSet;
    };
    const Case cases[] = {{"the record", 1, false}, {"the heap", 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(&devInfo, 0x6B, sizeof devInfo);
        std::vector<DRVFN> table = fake::unidrvEntryPoints();
        DRVENABLEDATA unidrv{DDI_DRIVER_VERSION_NT5, static_cast<ULONG>(table.size()),
                             table.data()};
        int sentinel = 0;
        PVOID record = &sentinel;
        const auto live = platform::host::liveAllocations();
        platform::host::failNthAllocation(c.failing);
        EXPECT_EQ(enablePdev(&devInfo, &unidrv, &record), E_FAIL);
        platform::host::failNthAllocation(0);
        EXPECT_EQ(record, nullptr);
        EXPECT_EQ(platform::host::liveAllocations(), live);
        DEVINFO expected;
        std::memset(&expected, 0x6B, sizeof expected);
        if (c.fontsSet)
            expected.cFonts = 1;
        EXPECT_EQ(std::memcmp(&devInfo, &expected, sizeof devInfo), 0);
    }
}

TEST_F(DeviceLifecycle, DisablePdevFreesEverythingEvenMidPage) {
    const auto live = platform::host::liveAllocations();
    {
        fake::FakeDevice device;
        ASSERT_EQ(device.enableResult, S_OK);
        ASSERT_EQ(DrvStartPage(device.surface()), TRUE);
        const std::vector<std::vector<BYTE>> lines(30, std::vector<BYTE>(48, 0x5A));
        ASSERT_EQ(fake::feedBand(device, 384, lines), S_OK);
        ASSERT_GT(platform::host::liveAllocations(), live + 30);
    } // the device is disabled here, its page never sent
    EXPECT_EQ(platform::host::liveAllocations(), live);
}

TEST_F(DeviceLifecycle, EnablesWithoutAFontFile) {
    ASSERT_EQ(std::getenv(kDriverDir), nullptr);
    fake::FakeDevice device;
    EXPECT_EQ(device.enableResult, S_OK);
    EXPECT_NE(device.pdev(), nullptr);
    EXPECT_EQ(device.devInfo.cFonts, 1u);
}

} // namespace
