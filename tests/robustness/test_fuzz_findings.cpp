// Faults the fuzz targets found in the plug-in, each kept as the calls that
// showed it.
#include "page/band_capture.h"
#include "page/page_hooks.h"
#include "platform/host/test_controls.h"
#include "support/fake_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// fuzz_label_job: a band declaring a negative width at 24 bits a dot, whose
// stride lies below the 32-bit range, was stored with the stride wrapped
// into a positive one (-999857811 dots gave 1295393868 bytes a line, read
// from an 8-byte band). Such a width must store nothing, as the widths whose
// stride lies above the range do.
TEST(FuzzFindings, WidthsWhoseStrideWrapsBelowThe32BitRangeStoreNothing) {
    // Before the mend these became strides of 2147483644, 1295393868, 8 and 4.
    for (const LONG width : {-715827886, -999857811, -1431655765, -1431655766}) {
        SCOPED_TRACE(width);
        fake::FakeDevice device;
        ASSERT_EQ(DrvStartPage(device.surface()), TRUE);
        const auto live = platform::host::liveAllocations();
        const std::vector<std::vector<BYTE>> lines(2, std::vector<BYTE>(8, 0x5A));
        EXPECT_EQ(fake::feedBand(device, width, lines, 24), S_OK);
        EXPECT_LT(device.pdev()->rowBytes, 0);
        EXPECT_EQ(device.pdev()->rowCount, 0);
        EXPECT_EQ(platform::host::liveAllocations(), live);
        ASSERT_EQ(DrvSendPage(device.surface()), TRUE);
        EXPECT_NE(device.spoolText().find("BITMAP 0,0,0,0,1,\r\nPRINT 1,1\r\n"), std::string::npos)
            << "an empty label";
    }
}

} // namespace
