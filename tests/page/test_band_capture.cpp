// Capturing the bands Unidrv renders into the page row table.
#include "page/band_capture.h"
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "support/fake_device.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Lines = std::vector<std::vector<BYTE>>;

// Lines whose every byte tells line and column apart.
Lines distinctLines(int count, std::size_t bytes, int seed = 0) {
    Lines lines(static_cast<std::size_t>(count), std::vector<BYTE>(bytes));
    for (int i = 0; i < count; ++i)
        for (std::size_t j = 0; j < bytes; ++j)
            lines[i][j] = static_cast<BYTE>((i + seed) * 31 + j * 7 + 1);
    return lines;
}

class BandCapture : public ::testing::Test {
  protected:
    ~BandCapture() override { platform::host::failNthAllocation(0); }

    void startPage() { ASSERT_EQ(DrvStartPage(device.surface()), TRUE); }

    OemPDEV& pdev() { return *device.pdev(); }

    Lines storedLines() {
        Lines lines;
        for (LONG r = 0; r < pdev().rowCount; ++r) {
            const BYTE* bits = pdev().rows[r].bits;
            lines.emplace_back(bits, bits + pdev().rowBytes);
        }
        return lines;
    }

    fake::FakeDevice device;
};

TEST_F(BandCapture, TheFirstBandFixesTheLineStride) {
    struct Case {
        LONG biWidth;
        DWORD callbackId;
        LONG rowBytes;
    };
    const Case cases[] = {{1, 1, 4},    {32, 1, 4},    {33, 1, 8},   {384, 1, 48},
                          {385, 1, 52}, {10, 24, 32},  {1, 24, 4},   {2, 24, 8},
                          {4, 24, 12},  {384, 23, 48}, {384, 25, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "width " << c.biWidth << " id " << c.callbackId);
        fake::FakeDevice fresh;
        ASSERT_EQ(DrvStartPage(fresh.surface()), TRUE);
        const Lines lines = distinctLines(2, static_cast<std::size_t>(c.rowBytes));
        EXPECT_EQ(fake::feedBand(fresh, c.biWidth, lines, c.callbackId), S_OK);
        OemPDEV& state = *fresh.pdev();
        EXPECT_EQ(state.rowBytes, c.rowBytes);
        EXPECT_EQ(state.pageOpen, 1u);
        ASSERT_EQ(state.rowCount, 2);
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(std::vector<BYTE>(state.rows[r].bits, state.rows[r].bits + c.rowBytes),
                      lines[r]);
    }
}

TEST_F(BandCapture, LaterBandsOfThePageAppendWithTheSameStride) {
    startPage();
    pdev().rowCount = 0;
    const Lines first = distinctLines(3, 48);
    const Lines second = distinctLines(2, 48, 100); // declared narrower, stored at 48
    ASSERT_EQ(fake::feedBand(device, 384, first), S_OK);
    ASSERT_EQ(fake::feedBand(device, 32, second), S_OK);
    EXPECT_EQ(pdev().rowBytes, 48);
    Lines expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(storedLines(), expected);
    for (LONG r = 0; r < pdev().rowCount; ++r)
        EXPECT_EQ(pdev().rows[r].inUse, 1u);
}

TEST_F(BandCapture, TheFirstBandOfAPageStartsTheCountAfresh) {
    startPage();
    ASSERT_EQ(fake::feedBand(device, 32, distinctLines(3, 4)), S_OK);
    // A page whose end never reset the capture state: the next first band
    // must still start at line 0.
    pdev().pageOpen = 0;
    const Lines lines = distinctLines(2, 8, 50);
    ASSERT_EQ(fake::feedBand(device, 64, lines), S_OK);
    EXPECT_EQ(pdev().rowBytes, 8);
    EXPECT_EQ(storedLines(), lines);
}

TEST_F(BandCapture, ABlankBandStoresWhiteLinesWithoutReadingTheBitmap) {
    startPage();
    const Lines before = distinctLines(2, 8);
    ASSERT_EQ(fake::feedBand(device, 64, before), S_OK);
    ASSERT_EQ(fake::feedBlankBand(device, 64, 3), S_OK);
    Lines expected = before;
    expected.insert(expected.end(), 3, std::vector<BYTE>(8, 0xFF));
    EXPECT_EQ(storedLines(), expected);
}

TEST_F(BandCapture, ABandWithoutLinesStoresNothing) {
    startPage();
    ASSERT_EQ(fake::feedBand(device, 32, distinctLines(1, 4)), S_OK);
    for (const LONG height : {0, -1, -7}) {
        SCOPED_TRACE(height);
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = 32;
        header.biHeight = height;
        BYTE bitmap[64] = {};
        IPPARAMS params{};
        PBYTE result = nullptr;
        EXPECT_EQ(captureBand(device.device(), bitmap, &header, 1, &params, &result), S_OK);
        EXPECT_EQ(result, bitmap);
        EXPECT_EQ(pdev().rowCount, 1);
    }
}

TEST_F(BandCapture, HandsTheBandBackUnchanged) {
    startPage();
    std::vector<BYTE> bitmap = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<BYTE> original = bitmap;
    BITMAPINFOHEADER header{};
    header.biWidth = 32;
    header.biHeight = 2;
    IPPARAMS params{};
    PBYTE result = nullptr;
    EXPECT_EQ(captureBand(device.device(), bitmap.data(), &header, 1, &params, &result), S_OK);
    EXPECT_EQ(result, bitmap.data());
    EXPECT_EQ(bitmap, original);

    params.bBlankBand = TRUE;
    result = bitmap.data();
    EXPECT_EQ(captureBand(device.device(), nullptr, &header, 1, &params, &result), S_OK);
    EXPECT_EQ(result, nullptr);
}

TEST_F(BandCapture, WithoutAPageTableNothingIsStored) {
    ASSERT_EQ(pdev().rows, nullptr); // no DrvStartPage yet
    const auto live = platform::host::liveAllocations();
    std::vector<BYTE> bitmap(4 * 3, 0x42);
    BITMAPINFOHEADER header{};
    header.biWidth = 32;
    header.biHeight = 3;
    IPPARAMS params{};
    PBYTE result = nullptr;
    EXPECT_EQ(captureBand(device.device(), bitmap.data(), &header, 1, &params, &result), S_OK);
    EXPECT_EQ(result, bitmap.data());
    EXPECT_EQ(pdev().rows, nullptr);
    EXPECT_EQ(pdev().rowCount, 0);
    EXPECT_EQ(platform::host::liveAllocations(), live);
}

// The paper length is only an estimate: lines beyond it are kept.
TEST_F(BandCapture, ATableTooShortForThePageGrows) {
    device.publicDM.dmPaperLength = 0;
    startPage();
    ASSERT_EQ(pdev().approHeight, 10);
    const Lines lines = distinctLines(75, 4);
    ASSERT_EQ(fake::feedBand(device, 32, Lines(lines.begin(), lines.begin() + 7)), S_OK);
    ASSERT_EQ(fake::feedBand(device, 32, Lines(lines.begin() + 7, lines.begin() + 30)), S_OK);
    ASSERT_EQ(fake::feedBlankBand(device, 32, 1), S_OK);
    ASSERT_EQ(fake::feedBand(device, 32, Lines(lines.begin() + 30, lines.end())), S_OK);
    Lines expected(lines.begin(), lines.begin() + 30);
    expected.push_back(std::vector<BYTE>(4, 0xFF));
    expected.insert(expected.end(), lines.begin() + 30, lines.end());
    EXPECT_EQ(storedLines(), expected);
    EXPECT_GE(pdev().approHeight, 76);
}

TEST_F(BandCapture, AFailedLineLosesOnlyTheRestOfItsBand) {
    startPage();
    const auto live = platform::host::liveAllocations();
    const Lines first = distinctLines(5, 4);
    const Lines second = distinctLines(3, 4, 20);
    platform::host::failNthAllocation(3); // the third line of the first band
    EXPECT_EQ(fake::feedBand(device, 32, first), S_OK);
    EXPECT_EQ(pdev().rowCount, 2);
    EXPECT_EQ(pdev().rows[2].bits, nullptr);
    EXPECT_EQ(fake::feedBand(device, 32, second), S_OK);
    Lines expected(first.begin(), first.begin() + 2);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(storedLines(), expected);
    EXPECT_EQ(platform::host::liveAllocations(), live + 5);
}

TEST_F(BandCapture, AFailedTableGrowthLosesOnlyTheRestOfItsBand) {
    device.publicDM.dmPaperLength = 0;
    startPage();
    const Lines first = distinctLines(12, 4);
    const Lines second = distinctLines(2, 4, 40);
    platform::host::failNthAllocation(11); // ten lines fit, then the table must grow
    EXPECT_EQ(fake::feedBand(device, 32, first), S_OK);
    EXPECT_EQ(pdev().rowCount, 10);
    EXPECT_EQ(fake::feedBand(device, 32, second), S_OK);
    Lines expected(first.begin(), first.begin() + 10);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(storedLines(), expected);
}

TEST_F(BandCapture, EveryCapturedLineIsFreedWhenThePageEnds) {
    const auto live = platform::host::liveAllocations();
    device.publicDM.dmPaperLength = 0; // forces growth as well
    startPage();
    ASSERT_EQ(fake::feedBand(device, 32, distinctLines(40, 4)), S_OK);
    ASSERT_EQ(fake::feedBlankBand(device, 32, 5), S_OK);
    ASSERT_EQ(DrvSendPage(device.surface()), TRUE);
    EXPECT_EQ(pdev().rows, nullptr);
    EXPECT_EQ(platform::host::liveAllocations(), live);
}

} // namespace
