// labelprint --text as a user runs it: a text file printed in text mode, in
// the chosen ANSI code page.
#include "support/scratch_files.h"

#include <gtest/gtest.h>

namespace {

using tools_test::readFile;
using tools_test::RunResult;
using tools_test::ScratchDir;

class LabelprintText : public ::testing::Test {
  protected:
    RunResult run(const std::string& arguments) {
        return tools_test::runProgram(
            dir, LABELPRINT_PATH, "--plugin '" + std::string(LABEL_PLUGIN_PATH) + "' " + arguments);
    }

    // The quoted path of a new text file holding `bytes`.
    std::string text(const std::string& bytes, const std::string& name = "text.txt") {
        std::string quoted = "'";
        quoted += dir.write(name, bytes);
        quoted += '\'';
        return quoted;
    }

    ScratchDir dir;
};

TEST_F(LabelprintText, PrintsEachLineAndEachPageInCodePage936) {
    const RunResult result =
        run("--page-end 0C --text " + text("Hello\tworld\r\n\n中文 text\n\fpage two\n"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Hello        world\n"
                          "\xD6\xD0\xCE\xC4 text\n"
                          "\x0C"
                          "page two\n"
                          "\x0C");
}

TEST_F(LabelprintText, TheCodePageOptionPicksTheEncoding) {
    struct Case {
        const char* option;
        const char* bytes;
    };
    const Case cases[] = {
        {"", "caf\xA8\xA6\n"},
        {"--code-page 936 ", "caf\xA8\xA6\n"},
        {"--code-page 1252 ", "caf\xE9\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        const RunResult result = run(std::string(c.option) + "--text " + text("café"));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, c.bytes);
    }
}

TEST_F(LabelprintText, WritesTheFileWholeAndEndsWithoutAnExtraPage) {
    const std::string spool = dir.path("text.prn");
    const RunResult result =
        run("--page-start 50 --page-end 0C -o '" + spool + "' --text " + text("a\nb\f"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(readFile(spool), "a\nP" // the first line leaves when the second arrives
                               "b\n\x0C");
}

TEST_F(LabelprintText, AnEmptyFileIsAnEmptyTextPage) {
    const RunResult result = run("--page-end 0C --text " + text(""));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "\x0C"); // text mode from the start: no label
}

TEST_F(LabelprintText, RefusesWhatItCannotPrint) {
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message;
    };
    const std::string good = text("x\n");
    const Case cases[] = {
        {"--code-page 0 --text " + good, 2, "--code-page"},
        {"--code-page 65536 --text " + good, 2, "--code-page"},
        {"--code-page cp936 --text " + good, 2, "--code-page"},
        {"--text " + good + " page.pbm", 2, "--text"},
        {"--preview out.png --text " + good, 2, "--preview"},
        {"--text", 2, "--text needs a value"},
        {"--text '" + dir.path("missing.txt") + "'", 1, "missing.txt: cannot read"},
        {"--text '" + dir.path("") + "'", 1, "cannot read"},
        {"--text " + text("bad \xFF byte", "bad.txt"), 1, "not UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const RunResult result = run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

} // namespace
