// The spool stream reaches the printer whichever way a Unidrv offers to take
// it: the service table in each DEVOBJ, or the driver services interface it
// published, for Unidrvs that follow the COM interfaces alone. With neither,
// the job still runs to its end.
#include "host/print_job.h"
#include "host/text/text_job.h"
#include "settings/command_callback.h"
#include "support/linked_module.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using standin::WritePaths;
using Table = WritePaths::ServiceTable;

standin::PageBitmap speckledPage(LONG width, LONG height) {
    standin::PageBitmap page{width, height, {}};
    page.bits.resize(page.stride() * static_cast<std::size_t>(height));
    std::mt19937 random(7);
    for (BYTE& byte : page.bits)
        byte = static_cast<BYTE>(random() & random());
    return page;
}

void storeCommand(WORD& on, WCHAR (&field)[kCommandTextUnits], std::u16string_view hex) {
    on = 1;
    std::copy(hex.begin(), hex.end(), field);
}

// A landscape page between stored commands: every kind of write the label
// pipeline makes.
standin::LabelJob labelJob(const WritePaths& paths) {
    standin::LabelJob job;
    job.writePaths = paths;
    job.paper.orientation = DMORIENT_LANDSCAPE;
    job.paper.paperWidth = 100;
    job.paper.paperLength = 100;
    job.pages.push_back(speckledPage(72, 40));
    job.editSettings = [](OemDevMode& settings) {
        storeCommand(settings.jobStartOn, settings.jobStartCmd, u"1B40");
        storeCommand(settings.pageEndOn, settings.pageEndCmd, u"0C");
        storeCommand(settings.jobEndOn, settings.jobEndCmd, u"1B45");
    };
    return job;
}

// Lines in the printer font with a tab and a double-byte character: every
// kind of write the text walk makes, each of whose counts it looks at.
standin::TextJob textJob(const WritePaths& paths) {
    standin::TextJob job;
    job.writePaths = paths;
    job.documents.push_back({{}, standin::layOutText({{u"to:\t王小明", u"", u"line three"}})});
    return job;
}

struct Variant {
    const char* name;
    WritePaths paths;
    standin::SpoolRoute route; // the way every write comes in, when there is one
    bool writes;
};

const Variant kVariants[] = {
    {"table and services: the table wins",
     {Table::kFilled, true},
     standin::kThroughServiceTable,
     true},
    {"table alone", {Table::kFilled, false}, standin::kThroughServiceTable, true},
    {"no table", {Table::kAbsent, true}, standin::kThroughDriverServices, true},
    {"table without its write entry",
     {Table::kEmptyWriteEntry, true},
     standin::kThroughDriverServices,
     true},
    {"no way to write", {Table::kAbsent, false}, standin::kThroughServiceTable, false},
    {"an empty table and no services",
     {Table::kEmptyWriteEntry, false},
     standin::kThroughServiceTable,
     false},
};

// Runs a job both ways: as the usual Unidrv, and as the variant's.
template <typename Job, typename Print>
void expectSameStreamOrNone(const Variant& variant, Job (*makeJob)(const WritePaths&),
                            Print print) {
    SCOPED_TRACE(variant.name);
    textMode = 0;
    const standin::JobOutcome usual = print(linkedModule(), makeJob({}));
    textMode = 0;
    const standin::JobOutcome outcome = print(linkedModule(), makeJob(variant.paths));
    textMode = 0;
    ASSERT_TRUE(usual.ok && outcome.ok) << usual.error << outcome.error;
    ASSERT_FALSE(usual.spool.empty());
    if (variant.writes) {
        EXPECT_EQ(outcome.spool, usual.spool);
        const auto other = variant.route == standin::kThroughServiceTable
                               ? standin::kThroughDriverServices
                               : standin::kThroughServiceTable;
        EXPECT_GT(outcome.writesThrough[variant.route], 0u);
        EXPECT_EQ(outcome.writesThrough[other], 0u);
    } else {
        EXPECT_TRUE(outcome.spool.empty());
    }
    EXPECT_EQ(outcome.unidrvCalls, usual.unidrvCalls) << "Unidrv still sees the whole job";
    EXPECT_EQ(outcome.servicesReferences, 0) << "the devices let go of the services";
    EXPECT_EQ(outcome.canUnloadNow, S_OK);
}

TEST(WritePaths, LabelJobsReachThePrinterWhicheverWayUnidrvOffers) {
    for (const Variant& variant : kVariants)
        expectSameStreamOrNone(variant, labelJob, standin::printLabelJob);
}

TEST(WritePaths, TextJobsReachThePrinterWhicheverWayUnidrvOffers) {
    setenv("ANSI_CODE_PAGE", "936", 1);
    for (const Variant& variant : kVariants)
        expectSameStreamOrNone(variant, textJob, standin::printTextJob);
    unsetenv("ANSI_CODE_PAGE");
}

} // namespace
