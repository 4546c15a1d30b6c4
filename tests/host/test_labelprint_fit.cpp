// labelprint fitting pages to a label, and refusing to write a spool stream
// to a terminal.
#include "decoder/label_decoder.h"
#include "imaging/page_image_reader.h"
#include "support/scratch_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tools_test::readFile;
using tools_test::RunResult;
using tools_test::ScratchDir;

const std::string kPlugin = std::string("--plugin '") + LABEL_PLUGIN_PATH + "' ";

// A one-page PDF of the given media box and content, its table correct.
std::string onePagePdf(const std::string& mediaBox, const std::string& content) {
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox + "] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream"};
    std::string pdf = "%PDF-1.4\n", table = "xref\n0 5\n0000000000 65535 f \n";
    for (int i = 0; i < 4; ++i) {
        char entry[21];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
        table += entry;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    return pdf + table + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" +
           std::to_string(pdf.size()) + "\n%%EOF\n";
}

// The one label a spool file holds, as a picture.
BilevelImage onlyLabel(const std::string& spool) {
    const std::string bytes = readFile(spool);
    const LabelStream stream =
        decodeLabelStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_TRUE(stream.ok()) << stream.error;
    EXPECT_EQ(stream.labels.size(), 1u);
    return stream.labels.empty() ? BilevelImage{} : labelPicture(stream.labels[0]);
}

// Printed dots of row y as "first last" (inclusive), or "blank".
std::string printedSpan(const BilevelImage& image, int y) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width; ++x)
        if (image.dot(x, y)) {
            first = first < 0 ? x : first;
            last = x;
        }
    return first < 0 ? "blank" : std::to_string(first) + " " + std::to_string(last);
}

} // namespace

// A landscape Letter page (2233 x 1726 dots at 203 dpi) on a 4 x 6 inch
// label: turned, shrunk to 812 x 1051 and centred, 83 blank lines above.
TEST(LabelprintFit, LetterPageOnAFourBySixLabel) {
    ScratchDir dir;
    // A frame round the page and a square in its upper left corner.
    const std::string pdf = dir.write(
        "letter.pdf", onePagePdf("0 0 792 612", "0 g 0 540 72 72 re f 20 w 0 0 792 612 re S"));
    const std::string spool = dir.path("label.prn");
    const RunResult result = tools_test::runProgram(
        dir, LABELPRINT_PATH, kPlugin + "--label 4x6in -o '" + spool + "' '" + pdf + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const BilevelImage label = onlyLabel(spool);
    EXPECT_EQ(label.height, 1218);
    EXPECT_EQ(printedSpan(label, 82), "blank");
    EXPECT_EQ(printedSpan(label, 84), "0 811") << "the frame's top";
    EXPECT_EQ(printedSpan(label, 1133), "0 811") << "the frame's bottom";
    EXPECT_EQ(printedSpan(label, 1135), "blank");
    // Turned counter-clockwise, the page's upper left corner is the lower left.
    EXPECT_TRUE(label.dot(60, 1100));
    EXPECT_FALSE(label.dot(750, 1100));
    EXPECT_FALSE(label.dot(60, 120));
}

// A 100 x 50 picture, its left half black, on a 2 x 3 inch label (406 x 609
// dots): turned and enlarged 6.09 times to 305 x 609, 50 dots in.
TEST(LabelprintFit, PictureScaledOntoTheLabel) {
    ScratchDir dir;
    BilevelImage picture = BilevelImage::blank(100, 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            picture.setDot(x, y, true);
    std::string error;
    ASSERT_TRUE(writePng(dir.path("half.png"), picture, error)) << error;
    const std::string spool = dir.path("label.prn");
    const RunResult result = tools_test::runProgram(dir, LABELPRINT_PATH,
                                                    kPlugin + "--label 2x3in -o '" + spool + "' '" +
                                                        dir.path("half.png") + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const BilevelImage label = onlyLabel(spool);
    EXPECT_EQ(label.height, 609);
    EXPECT_EQ(printedSpan(label, 200), "blank");
    EXPECT_EQ(printedSpan(label, 400), "50 354");
    EXPECT_EQ(printedSpan(label, 608), "50 354");
}

TEST(LabelprintFit, LabelSizesRefused) {
    ScratchDir dir;
    const std::string page = dir.write("page.pbm", "P1\n1 1\n1\n");
    const struct {
        std::string arguments, message;
    } cases[] = {
        {"--label 4x6", "--label takes WIDTHxLENGTH and a unit, in or mm (4x6in, 100x150mm), "
                        "not '4x6'"},
        {"--label 4x6cm", "--label takes WIDTHxLENGTH and a unit, in or mm (4x6in, 100x150mm), "
                          "not '4x6cm'"},
        {"--label 4x-6in", "--label takes WIDTHxLENGTH and a unit, in or mm (4x6in, 100x150mm), "
                           "not '4x-6in'"},
        {"--label 1e2x6mm", "--label takes WIDTHxLENGTH and a unit, in or mm (4x6in, "
                            "100x150mm), not '1e2x6mm'"},
        {"--label 110x150mm", "--label 110x150mm is wider than labels go (108 mm, 4.25 in)"},
        {"--label 100x1001mm", "--label 100x1001mm is longer than labels go (1000 mm)"},
        {"--label 0.4x1in",
         "--label 0.4x1in is smaller than labels go (12.7 x 6.35 mm, 0.5 x 0.25 in)"},
        {"--label 20x6mm", "--label 20x6mm is smaller than labels go (12.7 x 6.35 mm, 0.5 x "
                           "0.25 in)"},
        {"--dpi 32767 --label 4x6in",
         "--label is too large to print at 32767 dpi (131068 x 196602 dots)"},
        {"--label 4x6in --text notes.txt", "--label fits pages to a label, and a text job has "
                                           "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const std::string pages = c.arguments.find("--text") == std::string::npos ? page : "";
        const RunResult result = tools_test::runProgram(dir, LABELPRINT_PATH,
                                                        kPlugin + c.arguments + " -o '" +
                                                            dir.path("x.prn") + "' " + pages);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err.substr(0, result.err.find('\n')), "labelprint: " + c.message);
    }
    // The limits themselves are labels.
    for (const char* size : {"108x1000mm", "0.5x0.25in", "2.25x1.25IN"}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(tools_test::runProgram(dir, LABELPRINT_PATH,
                                         kPlugin + "--label " + size + " -o '" + dir.path("x.prn") +
                                             "' " + page)
                      .exitCode,
                  0);
    }
}

// With standard output a terminal, the stream would only garble the screen.
TEST(LabelprintTerminal, RefusedUnlessATargetIsGiven) {
    ScratchDir dir;
    const std::string page = dir.write("page.pbm", "P1\n8 1\n10101010\n");
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const std::string screen = ptsname(terminal);
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    } cases[] = {
        {{page},
         2,
         "labelprint: not writing a spool stream to a terminal: give -o TARGET or redirect\n"},
        {{"-o", "-", page},
         2,
         "labelprint: not writing a spool stream to a terminal: give -o TARGET or redirect\n"},
        {{"-o", dir.path("label.prn"), page}, 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {LABELPRINT_PATH, "--plugin", LABEL_PLUGIN_PATH};
        words.insert(words.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, screen.c_str(), O_WRONLY | O_NOCTTY, 0);
        posix_spawn_file_actions_addopen(&files, 2, dir.path("err.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t child = -1;
        ASSERT_EQ(posix_spawn(&child, argv[0], &files, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.arguments.size();
        EXPECT_EQ(readFile(dir.path("err.txt")), c.err);
        char shown[64];
        fcntl(terminal, F_SETFL, O_NONBLOCK);
        EXPECT_LE(read(terminal, shown, sizeof shown), 0) << "nothing reached the terminal";
    }
    close(terminal);
}
