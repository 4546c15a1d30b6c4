// labelprint --copies and --pages: each copy of each chosen page is a label.
#include "decoder/label_decoder.h"
#include "support/scratch_files.h"
#include "support/test_pdf.h"

#include <gtest/gtest.h>

namespace {

using tools_test::RunResult;
using tools_test::ScratchDir;

const std::string kSample = std::string(SOURCE_DIR) + "/tools/samples/shipping-label.png";

RunResult labelprint(const ScratchDir& dir, const std::string& arguments) {
    return tools_test::runProgram(dir, LABELPRINT_PATH,
                                  "--plugin '" + std::string(LABEL_PLUGIN_PATH) + "' " + arguments);
}

LabelStream decode(const std::string& bytes) {
    return decodeLabelStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

TEST(LabelprintCopies, ThreeCopiesAreThreeLabels) {
    ScratchDir dir;
    const RunResult result = labelprint(dir, "--copies 3 '" + kSample + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const LabelStream stream = decode(result.out);
    ASSERT_TRUE(stream.ok()) << stream.error;
    ASSERT_EQ(stream.labels.size(), 3u);
    for (const DecodedLabel& label : stream.labels)
        EXPECT_EQ(label.printedDots, stream.labels[0].printedDots);
}

// Three pages of 1, 2 and 3 bars; only the second is printed.
TEST(LabelprintCopies, PagesPrintsOnlyThoseChosen) {
    ScratchDir dir;
    const std::string pdf = dir.write(
        "three.pdf", tools_test::pdfOf({{"0 0 72 72", "0 g 0 0 8 72 re f", ""},
                                        {"0 0 72 72", "0 g 0 0 8 72 re f 16 0 8 72 re f", ""},
                                        {"0 0 72 72",
                                         "0 g 0 0 8 72 re f 16 0 8 72 re f "
                                         "32 0 8 72 re f",
                                         ""}}));
    const RunResult all = labelprint(dir, "'" + pdf + "'");
    const RunResult second = labelprint(dir, "--pages 2 '" + pdf + "'");
    ASSERT_EQ(all.exitCode, 0) << all.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    const LabelStream allLabels = decode(all.out), chosen = decode(second.out);
    ASSERT_EQ(allLabels.labels.size(), 3u);
    ASSERT_EQ(chosen.labels.size(), 1u);
    EXPECT_EQ(chosen.labels[0].printedDots, allLabels.labels[1].printedDots);
    EXPECT_NE(allLabels.labels[0].printedDots, allLabels.labels[1].printedDots);
}

TEST(LabelprintCopies, RefusedChoices) {
    ScratchDir dir;
    const std::string text = dir.write("note.txt", "hello\n");
    const struct {
        std::string arguments;
        int exitCode;
        const char* says;
    } cases[] = {
        {"--copies 0 '" + kSample + "'", 2, "--copies takes"},
        {"--copies 1000 '" + kSample + "'", 2, "--copies takes"},
        {"--copies x '" + kSample + "'", 2, "--copies takes"},
        {"--pages 3-1 '" + kSample + "'", 2, "--pages '3-1' runs backwards"},
        {"--pages 1,,2 '" + kSample + "'", 2, "--pages"},
        {"--copies 2 --text '" + text + "'", 2, "text job"},
        {"--pages 1 --text '" + text + "'", 2, "text job"},
        {"--pages 2-4 '" + kSample + "'", 1, "labelprint: --pages 2-4 selects no page\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const RunResult result = labelprint(dir, c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "") << "nothing is sent";
    }
}
