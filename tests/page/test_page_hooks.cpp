// The document, page and band hooks: the row table's life, the user's
// commands around jobs and pages, and what is passed on to Unidrv.
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "settings/command_callback.h"
#include "support/fake_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

const Bytes kJobStart = {0xAA, 0x01};
const Bytes kPageStart = {0xBB, 0x02};
const Bytes kPageEnd = {0xCC, 0x03};
const Bytes kJobEnd = {0xDD, 0x04};

// The label of the one small page every test here prints: two lines of
// four bytes.
const Bytes kLine0 = {0x01, 0x02, 0x03, 0x04};
const Bytes kLine1 = {0x05, 0x06, 0x07, 0x08};

Bytes labelOfTheSmallPage() {
    const std::string header =
        "Density 4\r\nDIRECTION 0,0\r\nSIZE 4 mm, 0 mm\r\nCLS\r\nBITMAP 0,0,4,2,1,";
    Bytes label;
    label.reserve(header.size() + 2 * kLine0.size() + 16);
    label.insert(label.end(), header.begin(), header.end());
    label.insert(label.end(), kLine0.begin(), kLine0.end());
    label.insert(label.end(), kLine1.begin(), kLine1.end());
    const std::string trailer = "\r\nPRINT 1,1\r\n";
    label.insert(label.end(), trailer.begin(), trailer.end());
    return label;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class PageHooks : public ::testing::Test {
  protected:
    PageHooks() {
        fake::setCommand(device.settings.jobStartCmd, u"aa01");
        fake::setCommand(device.settings.pageStartCmd, u"BB02");
        fake::setCommand(device.settings.pageEndCmd, u"cc03");
        fake::setCommand(device.settings.jobEndCmd, u"DD04");
        device.settings.jobStartOn = 1;
        device.settings.pageStartOn = 1;
        device.settings.pageEndOn = 1;
        device.settings.jobEndOn = 1;
    }
    ~PageHooks() override {
        platform::host::failNthAllocation(0);
        fake::resetModuleState();
    }

    SURFOBJ* pso() { return device.surface(); }
    OemPDEV& pdev() { return *device.pdev(); }

    void startDoc() { ASSERT_EQ(DrvStartDoc(pso(), docName, 7), TRUE); }
    void startPage() { ASSERT_EQ(DrvStartPage(pso()), TRUE); }
    void renderSmallPage() { ASSERT_EQ(fake::feedBand(device, 32, {kLine0, kLine1}), S_OK); }
    void printSmallPage() {
        startPage();
        renderSmallPage();
        ASSERT_EQ(DrvSendPage(pso()), TRUE);
    }

    std::vector<UnidrvHookRow> unidrvRows() const {
        std::vector<UnidrvHookRow> rows;
        for (const fake::UnidrvCall& call : device.unidrvCalls)
            rows.push_back(call.row);
        return rows;
    }

    fake::FakeDevice device;
    WCHAR docName[8] = u"label";
};

TEST_F(PageHooks, StartDocMarksTheFirstPageAndPassesOn) {
    for (const BOOL unidrv : {TRUE, FALSE}) {
        SCOPED_TRACE(unidrv);
        device.clearRecords();
        device.unidrvResult[kRowStartDoc] = unidrv;
        firstPage.store(0);
        EXPECT_EQ(DrvStartDoc(pso(), docName, 42), unidrv);
        EXPECT_EQ(firstPage.load(), 1u);
        EXPECT_EQ(unidrvRows(), std::vector{kRowStartDoc});
        EXPECT_EQ(device.lastSurface, pso());
        EXPECT_EQ(device.lastDocName, docName);
        EXPECT_EQ(device.lastJobId, 42u);
        EXPECT_TRUE(device.spool.empty());
    }
}

TEST_F(PageHooks, StartPageSizesTheTableFromThePaper) {
    struct Case {
        SHORT orientation;
        SHORT paperLength;
        SHORT paperWidth;
        SHORT yResolution;
        SHORT printQuality;
        LONG slots;
    };
    const Case cases[] = {
        {DMORIENT_PORTRAIT, 1000, 500, 203, 300, 809},
        {DMORIENT_PORTRAIT, 0, 500, 203, 300, 10},
        {DMORIENT_PORTRAIT, 2540, 500, 600, 300, 6010},
        {DMORIENT_PORTRAIT, 1000, 500, 0, 300, 10},
        {DMORIENT_LANDSCAPE, 500, 1000, 300, 203, 809},
        {DMORIENT_LANDSCAPE, 500, 0, 300, 203, 10},
        {0, 500, 1000, 300, 203, 809},
        {3, 500, 1000, 300, 203, 809},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "orientation " << c.orientation << " length "
                                          << c.paperLength << " width " << c.paperWidth);
        fake::FakeDevice fresh(c.orientation);
        fresh.publicDM.dmPaperLength = c.paperLength;
        fresh.publicDM.dmPaperWidth = c.paperWidth;
        fresh.publicDM.dmYResolution = c.yResolution;
        fresh.publicDM.dmPrintQuality = c.printQuality;
        fresh.pdev()->rowCount = 7;
        for (const BOOL unidrv : {TRUE, FALSE}) {
            fresh.unidrvResult[kRowStartPage] = unidrv;
            fresh.clearRecords();
            EXPECT_EQ(DrvStartPage(fresh.surface()), unidrv);
            const OemPDEV& state = *fresh.pdev();
            EXPECT_EQ(state.approHeight, c.slots);
            EXPECT_EQ(state.rowCount, 0);
            ASSERT_NE(state.rows, nullptr);
            for (LONG r = 0; r < state.approHeight; ++r) {
                ASSERT_EQ(state.rows[r].bits, nullptr) << "slot " << r;
                ASSERT_EQ(state.rows[r].inUse, 0u) << "slot " << r;
            }
            EXPECT_EQ(fresh.callsOf(kRowStartPage), 1);
            EXPECT_TRUE(fresh.spool.empty());
        }
    }
}

TEST_F(PageHooks, StartPageFailsWithoutATable) {
    struct Case {
        const char* why;
        SHORT orientation;
        SHORT paperLength;
        SHORT paperWidth;
        bool failAllocation;
    };
    const Case cases[] = {
        {"negative paper length", DMORIENT_PORTRAIT, -1000, 1000, false},
        {"negative paper width", DMORIENT_LANDSCAPE, 1000, -1000, false},
        {"no memory", DMORIENT_PORTRAIT, 1000, 1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fake::FakeDevice fresh(c.orientation);
        fresh.publicDM.dmPaperLength = c.paperLength;
        fresh.publicDM.dmPaperWidth = c.paperWidth;
        if (c.failAllocation)
            platform::host::failNthAllocation(1);
        EXPECT_EQ(DrvStartPage(fresh.surface()), FALSE);
        platform::host::failNthAllocation(0);
        EXPECT_EQ(fresh.pdev()->rows, nullptr);
        EXPECT_EQ(fresh.callsOf(kRowStartPage), 0);
    }
}

TEST_F(PageHooks, StartPageReleasesAPageThatWasNeverSent) {
    const auto live = platform::host::liveAllocations();
    startPage();
    renderSmallPage();
    startPage();
    EXPECT_EQ(pdev().rowCount, 0);
    EXPECT_EQ(platform::host::liveAllocations(), live + 1); // the new table only
}

TEST_F(PageHooks, ALabelPageIsFramedByTheUsersCommands) {
    startDoc();
    startPage();
    renderSmallPage();
    device.clearRecords();
    ASSERT_EQ(DrvSendPage(pso()), TRUE);
    EXPECT_EQ(device.spool, joined({kJobStart, kPageStart, labelOfTheSmallPage(), kPageEnd}));
    ASSERT_EQ(unidrvRows(), std::vector{kRowSendPage});
    // Unidrv sees the page after the commands that open it, before the label.
    EXPECT_EQ(device.unidrvCalls[0].spoolBytes, 4u);
    EXPECT_EQ(pdev().rows, nullptr);
    EXPECT_EQ(pdev().pageOpen, 0u);

    device.clearRecords();
    printSmallPage();
    EXPECT_EQ(device.spool, joined({kPageStart, labelOfTheSmallPage(), kPageEnd}));

    device.clearRecords();
    ASSERT_EQ(DrvEndDoc(pso(), 0), TRUE);
    EXPECT_EQ(device.spool, kJobEnd);
    ASSERT_EQ(unidrvRows(), std::vector{kRowEndDoc});
    EXPECT_EQ(device.unidrvCalls[0].spoolBytes, 2u);
}

TEST_F(PageHooks, SendPageReturnsUnidrvsAnswerAfterFinishingThePage) {
    const auto live = platform::host::liveAllocations();
    startDoc();
    startPage();
    renderSmallPage();
    device.clearRecords();
    device.unidrvResult[kRowSendPage] = FALSE;
    EXPECT_EQ(DrvSendPage(pso()), FALSE);
    EXPECT_EQ(device.spool, joined({kJobStart, kPageStart, labelOfTheSmallPage(), kPageEnd}));
    EXPECT_EQ(pdev().rows, nullptr);
    EXPECT_EQ(platform::host::liveAllocations(), live);
}

TEST_F(PageHooks, TextModeSendsNoLabelButReleasesThePage) {
    const auto live = platform::host::liveAllocations();
    startDoc();
    startPage();
    renderSmallPage();
    textMode.store(1);
    device.clearRecords();
    ASSERT_EQ(DrvSendPage(pso()), TRUE);
    EXPECT_EQ(device.spool, joined({kJobStart, kPageStart, kPageEnd}));
    EXPECT_EQ(device.callsOf(kRowSendPage), 1);
    EXPECT_EQ(pdev().rows, nullptr);
    EXPECT_EQ(pdev().pageOpen, 1u);
    EXPECT_EQ(platform::host::liveAllocations(), live);
}

TEST_F(PageHooks, EndDocSendsTheJobEndEvenWhenAborted) {
    for (const BOOL unidrv : {TRUE, FALSE}) {
        SCOPED_TRACE(unidrv);
        device.clearRecords();
        device.unidrvResult[kRowEndDoc] = unidrv;
        startDoc();
        printSmallPage();
        device.clearRecords();
        EXPECT_EQ(DrvEndDoc(pso(), ED_ABORTDOC), unidrv);
        EXPECT_EQ(device.spool, kJobEnd);
        ASSERT_EQ(unidrvRows(), std::vector{kRowEndDoc});
        EXPECT_EQ(device.unidrvCalls[0].spoolBytes, 2u);
        EXPECT_EQ(device.lastEndDocFlags, ED_ABORTDOC);
    }
}

TEST_F(PageHooks, ADocumentWithoutPagesSendsOnlyTheJobEnd) {
    startDoc();
    ASSERT_EQ(DrvEndDoc(pso(), 0), TRUE);
    EXPECT_EQ(device.spool, kJobEnd);
    EXPECT_EQ(unidrvRows(), (std::vector{kRowStartDoc, kRowEndDoc}));
}

TEST_F(PageHooks, EveryDocumentStartsWithTheJobStart) {
    for (int document = 0; document < 2; ++document) {
        startDoc();
        printSmallPage();
        printSmallPage();
        ASSERT_EQ(DrvEndDoc(pso(), 0), TRUE);
    }
    const Bytes page = joined({kPageStart, labelOfTheSmallPage(), kPageEnd});
    const Bytes document = joined({kJobStart, page, page, kJobEnd});
    EXPECT_EQ(device.spool, joined({document, document}));
}

// Only the first page of a document may carry the job start: switching it on
// later in the document changes nothing until the next document.
TEST_F(PageHooks, TheJobStartIsDecidedOnTheFirstPage) {
    device.settings.jobStartOn = 0;
    startDoc();
    printSmallPage();
    device.settings.jobStartOn = 1;
    printSmallPage();
    ASSERT_EQ(DrvEndDoc(pso(), 0), TRUE);
    const Bytes page = joined({kPageStart, labelOfTheSmallPage(), kPageEnd});
    EXPECT_EQ(device.spool, joined({page, page, kJobEnd}));

    device.clearRecords();
    startDoc();
    printSmallPage();
    EXPECT_EQ(device.spool, joined({kJobStart, page}));
}

TEST_F(PageHooks, CommandsSwitchedOffAreNotSent) {
    device.settings.jobStartOn = 0;
    device.settings.pageStartOn = 2;
    device.settings.pageEndOn = 0;
    device.settings.jobEndOn = 0xFFFF;
    startDoc();
    printSmallPage();
    ASSERT_EQ(DrvEndDoc(pso(), 0), TRUE);
    EXPECT_EQ(device.spool, labelOfTheSmallPage());
}

// A page whose table could not be had captured nothing, so it gets no label
// at all, only the user's commands around it.
TEST_F(PageHooks, APageAfterAFailedStartPageHasNoLabel) {
    for (const BOOL unidrv : {TRUE, FALSE}) {
        SCOPED_TRACE(unidrv);
        device.clearRecords();
        device.unidrvResult[kRowSendPage] = unidrv;
        startDoc();
        startPage();
        renderSmallPage(); // a page that never reached DrvSendPage
        platform::host::failNthAllocation(1);
        EXPECT_EQ(DrvStartPage(pso()), FALSE);
        platform::host::failNthAllocation(0);
        renderSmallPage();
        EXPECT_EQ(DrvSendPage(pso()), unidrv);
        EXPECT_EQ(device.spool, joined({kJobStart, kPageStart, kPageEnd}));
        EXPECT_EQ(device.callsOf(kRowSendPage), 1);
        EXPECT_EQ(pdev().rows, nullptr);
    }
}

TEST_F(PageHooks, BandingCallsOnlyPassOn) {
    startPage();
    renderSmallPage();
    const OemPDEV before = pdev();
    POINTL point{3, 4};
    for (const BOOL unidrv : {TRUE, FALSE}) {
        SCOPED_TRACE(unidrv);
        device.clearRecords();
        device.unidrvResult[kRowStartBanding] = unidrv;
        device.unidrvResult[kRowNextBand] = unidrv;
        device.lastBandPoint = nullptr;
        EXPECT_EQ(DrvStartBanding(pso(), &point), unidrv);
        EXPECT_EQ(device.lastBandPoint, &point);
        device.lastBandPoint = nullptr;
        EXPECT_EQ(DrvNextBand(pso(), &point), unidrv);
        EXPECT_EQ(device.lastBandPoint, &point);
        EXPECT_EQ(unidrvRows(), (std::vector{kRowStartBanding, kRowNextBand}));
        EXPECT_TRUE(device.spool.empty());
        EXPECT_EQ(point.x, 3);
        EXPECT_EQ(point.y, 4);
        EXPECT_EQ(pdev().rows, before.rows);
        EXPECT_EQ(pdev().rowCount, before.rowCount);
        EXPECT_EQ(pdev().pageOpen, before.pageOpen);
    }
}

// Where Unidrv's table lacks a function the hook still does its own part
// and reports success.
TEST_F(PageHooks, HooksWithoutUnidrvFunctionsDoTheirOwnWork) {
    fake::FakeDevice bare(DMORIENT_PORTRAIT, {});
    ASSERT_EQ(bare.enableResult, S_OK);
    bare.settings = device.settings;
    SURFOBJ* surface = bare.surface();
    POINTL point{};
    firstPage.store(0);
    EXPECT_EQ(DrvStartDoc(surface, docName, 1), TRUE);
    EXPECT_EQ(firstPage.load(), 1u);
    EXPECT_EQ(DrvStartPage(surface), TRUE);
    EXPECT_NE(bare.pdev()->rows, nullptr);
    EXPECT_EQ(DrvStartBanding(surface, &point), TRUE);
    ASSERT_EQ(fake::feedBand(bare, 32, {kLine0, kLine1}), S_OK);
    EXPECT_EQ(DrvNextBand(surface, &point), TRUE);
    EXPECT_EQ(DrvSendPage(surface), TRUE);
    EXPECT_EQ(DrvEndDoc(surface, 0), TRUE);
    EXPECT_EQ(bare.spool,
              joined({kJobStart, kPageStart, labelOfTheSmallPage(), kPageEnd, kJobEnd}));
    EXPECT_TRUE(bare.unidrvCalls.empty());
}

} // namespace
