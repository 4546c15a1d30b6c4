// labelprint as a user runs it: options, outputs and every kind of failure.
#include "decoder/label_decoder.h"
#include "imaging/page_image_reader.h"
#include "support/scratch_files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using tools_test::readFile;
using tools_test::RunResult;
using tools_test::ScratchDir;

const std::string kSample = std::string(SOURCE_DIR) + "/tools/samples/shipping-label.png";

class Labelprint : public ::testing::Test {
  protected:
    RunResult run(const std::string& arguments) {
        return tools_test::runProgram(
            dir, LABELPRINT_PATH, "--plugin '" + std::string(LABEL_PLUGIN_PATH) + "' " + arguments);
    }

    // A P1 page of `width` × `height` dots with a diagonal line.
    std::string page(const std::string& name, int width, int height) {
        std::string text =
            "P1\n# a diagonal\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                text += x == y ? "1 " : "0 ";
            text += "\n";
        }
        return dir.write(name, text);
    }

    LabelStream decode(const std::string& bytes) {
        return decodeLabelStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    ScratchDir dir;
};

} // namespace

TEST_F(Labelprint, PrintsTheBundledSampleAsOneLabel) {
    const std::string spool = dir.path("label.prn");
    const RunResult result = run("--job-start 1B40 -o '" + spool + "' '" + kSample + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string bytes = readFile(spool);
    EXPECT_EQ(bytes.substr(0, 2), "\x1b@");
    const LabelStream stream = decode(bytes);
    ASSERT_TRUE(stream.ok()) << stream.error;
    ASSERT_EQ(stream.labels.size(), 1u);
    EXPECT_EQ(stream.labels[0].widthBytes, 104); // 812 dots, DWORD-aligned
    EXPECT_EQ(stream.labels[0].heightDots, 1218);
    EXPECT_GT(stream.labels[0].printedDots, 10000u);
}

TEST_F(Labelprint, StandardOutputCarriesTheSameStream) {
    const std::string pagePath = page("diagonal.pbm", 40, 24);
    const std::string spool = dir.path("label.prn");
    ASSERT_EQ(run("-o '" + spool + "' '" + pagePath + "'").exitCode, 0);
    const RunResult toStdout = run("'" + pagePath + "'");
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, readFile(spool));
}

TEST_F(Labelprint, SettingsShapeTheLabelProgram) {
    const std::string pagePath = page("diagonal.pbm", 64, 40);
    const RunResult result =
        run("--landscape --density 2 --direction 1 --shift-x 1 '" + pagePath + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const LabelStream stream = decode(result.out);
    ASSERT_EQ(stream.labels.size(), 1u);
    const DecodedLabel& label = stream.labels[0];
    EXPECT_EQ(label.density, 2);
    EXPECT_EQ(label.direction, 1);
    EXPECT_EQ(label.widthBytes, 5);     // 40 lines turned into 5 bytes a line
    EXPECT_EQ(label.heightDots, 8 * 8); // 64 dots were 8 bytes a line
}

TEST_F(Labelprint, PreviewDrawsEveryLabel) {
    const std::string first = page("first.pbm", 32, 16), second = page("second.pbm", 32, 8);
    const std::string preview = dir.path("preview.png");
    const RunResult result = run("--preview '" + preview + "' '" + first + "' '" + second + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const ImageReadResult one = readPageImage(dir.path("preview-1.png"), false);
    ASSERT_TRUE(one.ok()) << one.error;
    EXPECT_EQ(one.image.height, 16);
    EXPECT_TRUE(one.image.dot(5, 5)) << "the diagonal is printed";
    EXPECT_FALSE(one.image.dot(6, 5));
    EXPECT_TRUE(readPageImage(dir.path("preview-2.png"), false).ok());
}

TEST_F(Labelprint, UsageErrors) {
    const std::string pagePath = page("diagonal.pbm", 8, 8);
    const std::string tooLong(260, 'A');
    const std::string cases[] = {
        "",
        "--density 40000 '" + pagePath + "'",
        "--shift-x abc '" + pagePath + "'",
        "--dpi 0 '" + pagePath + "'",
        "--job-end " + tooLong + " '" + pagePath + "'",
        "--frobnicate '" + pagePath + "'",
        "'" + pagePath + "' -o",
    };
    for (const std::string& arguments : cases) {
        SCOPED_TRACE(arguments);
        const RunResult result = run(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("usage: labelprint"), std::string::npos);
    }
    // As many bytes as the block's field holds, as hexadecimal or as text.
    EXPECT_EQ(run("--page-end " + std::string(258, 'A') + " '" + pagePath + "'").exitCode, 0);
    EXPECT_EQ(run("--page-end " + std::string(127, 'X') + " '" + pagePath + "'").exitCode, 0);
    EXPECT_EQ(run("--page-end " + std::string(128, 'X') + " '" + pagePath + "'").exitCode, 2);
}

TEST_F(Labelprint, VersionPrintsTheProjectVersion) {
    const RunResult result = run("--version");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "labelprint " PROJECT_VERSION_TEXT "\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(Labelprint, FailuresNameTheFileAndLeaveNoOutput) {
    const std::string spool = dir.path("label.prn");
    const std::string notAnImage = dir.write("notes.txt", "just some words\n");
    const std::string truncated = dir.write("cut.pbm", "P4\n64 64\n\x01\x02");
    const std::string huge = dir.write("huge.pbm", "P4\n70000 70000\n");
    const std::string cases[] = {dir.path("missing.png"), notAnImage, truncated, huge};
    for (const std::string& input : cases) {
        SCOPED_TRACE(input);
        const RunResult result = run("-o '" + spool + "' '" + input + "'");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(input), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line";
        EXPECT_FALSE(std::filesystem::exists(spool));
    }
}

TEST_F(Labelprint, UnwritableOutputIsAFailure) {
    const std::string pagePath = page("diagonal.pbm", 8, 8);
    const std::string spool = dir.path("no-such-dir/label.prn");
    const RunResult result = run("-o '" + spool + "' '" + pagePath + "'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(spool), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path("")) ||
                !std::filesystem::exists(dir.path("no-such-dir")));
}

TEST_F(Labelprint, PageTooLargeForThePaperFields) {
    // 16000 dots at 100 dpi are 4064 mm, beyond the devmode's 16-bit tenths.
    const std::string wide = dir.write("wide.pbm", "P4\n16000 1\n" + std::string(2000, '\0'));
    const RunResult result = run("--dpi 100 '" + wide + "'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("too large"), std::string::npos) << result.err;
}
