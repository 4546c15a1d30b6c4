#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "imaging/page_image_reader.h"
#include "support/scratch_files.h"

namespace {

using tools_test::ScratchDir;

using tools_test::RunResult;

RunResult runLabelview(const ScratchDir& dir, const std::string& arguments) {
    return tools_test::runProgram(dir, LABELVIEW_PATH, arguments);
}

std::string labelProgram(int widthBytes, int heightDots, char fill) {
    return "Density 4\r\nDIRECTION 0,0\r\nSIZE " + std::to_string(widthBytes) + " mm, " +
           std::to_string(heightDots / 8) + " mm\r\nCLS\r\nBITMAP 0,0," +
           std::to_string(widthBytes) + "," + std::to_string(heightDots) + ",1," +
           std::string(static_cast<size_t>(widthBytes * heightDots), fill) + "\r\nPRINT 1,1\r\n";
}

class Labelview : public testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(LABELVIEW_PATH))
            GTEST_SKIP() << "labelview not built at " << LABELVIEW_PATH;
        spool =
            dir.write("job.prn", "JUNK" + labelProgram(2, 8, '\x0F') + labelProgram(1, 16, '\xFF'));
    }

    ScratchDir dir;
    std::string spool;
};

TEST_F(Labelview, ListsLabelsAndSkippedBytes) {
    const RunResult run = runLabelview(dir, "'" + spool + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "label 1: size 2 mm x 1 mm, density 4, direction 0, bitmap 2 bytes x 8 lines, "
              "64 printed dots\n"
              "label 2: size 1 mm x 2 mm, density 4, direction 0, bitmap 1 bytes x 16 "
              "lines, 0 printed dots\n"
              "outside the labels: bytes 0-3: 4 bytes that are not a label program\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(Labelview, DrawsNumberedPictures) {
    const std::string png = dir.path("pic.png");
    const RunResult run = runLabelview(dir, "--png '" + png + "' '" + spool + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const ImageReadResult first = readPageImage(dir.path("pic-1.png"), false);
    ASSERT_TRUE(first.ok()) << first.error;
    EXPECT_EQ(first.image.width, 16);
    EXPECT_EQ(first.image.height, 8);
    EXPECT_TRUE(first.image.dot(0, 0));
    EXPECT_FALSE(first.image.dot(4, 0));
    const ImageReadResult second = readPageImage(dir.path("pic-2.png"), false);
    ASSERT_TRUE(second.ok()) << second.error;
    EXPECT_EQ(second.image.height, 16);
}

TEST_F(Labelview, ExitCodesSayWhatWentWrong) {
    const std::string missing = dir.path("missing.prn");
    const std::string cut = dir.write("cut.prn", labelProgram(2, 8, 'x').substr(0, 70));
    const struct {
        std::string arguments;
        int exitCode;
        std::string errorStart;
    } cases[] = {
        {"'" + missing + "'", 1, missing + ": cannot open (No such file or directory)"},
        {"'" + cut + "'", 1, cut + ": label 1 at byte 0: bitmap truncated"},
        {"", 2, "usage: labelview FILE [--png OUT.png]"},
        {"'" + spool + "' --png", 2, "usage:"},
        {"--frobnicate '" + spool + "'", 2, "usage:"},
        {"'" + spool + "' '" + spool + "'", 2, "usage:"},
        {"'" + spool + "' --png '" + dir.path("none/x.png") + "'", 1, dir.path("none/x-1.png")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const RunResult run = runLabelview(dir, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err.rfind(c.errorStart, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

} // namespace
