// labelprint sending real jobs where printers are: PDF labels, network
// printers, pipes, device nodes and links, and every way they fail.
#include "decoder/label_decoder.h"
#include "support/loopback_listener.h"
#include "support/scratch_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

namespace {

using tools_test::readFile;
using tools_test::RunResult;
using tools_test::ScratchDir;

const std::string kSamplePdf = std::string(SOURCE_DIR) + "/tools/samples/shipping-label.pdf";
const std::string kSamplePng = std::string(SOURCE_DIR) + "/tools/samples/shipping-label.png";

// Everything the next connection brings, read in a thread of its own.
std::string readConnection(const support::LoopbackListener& printer) {
    const int connection = printer.accept();
    std::string bytes;
    char block[1 << 16];
    ssize_t got;
    while ((got = ::read(connection, block, sizeof block)) > 0)
        bytes.append(block, static_cast<std::size_t>(got));
    ::close(connection);
    return bytes;
}

// Everything a FIFO brings until its writer closes it, or `limit` bytes.
std::string readFifo(const std::string& path, std::size_t limit = SIZE_MAX) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string bytes;
    char block[1 << 16];
    ssize_t got;
    while (bytes.size() < limit && (got = ::read(fd, block, sizeof block)) > 0)
        bytes.append(block, static_cast<std::size_t>(got));
    ::close(fd);
    return bytes.substr(0, std::min(limit, bytes.size()));
}

class LabelprintTargets : public ::testing::Test {
  protected:
    RunResult run(const std::string& arguments) {
        return tools_test::runProgram(
            dir, LABELPRINT_PATH, "--plugin '" + std::string(LABEL_PLUGIN_PATH) + "' " + arguments);
    }

    // The stream a job writes to a plain file: what every other target must get.
    std::string streamOf(const std::string& pages) {
        const std::string file = dir.path("reference.prn");
        const RunResult result = run("-o '" + file + "' " + pages);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readFile(file);
    }

    static LabelStream decode(const std::string& bytes) {
        return decodeLabelStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    // One line of stderr, naming `what`.
    static void expectOneLineNaming(const RunResult& result, const std::string& what) {
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_NE(result.err.find(what), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    }

    ScratchDir dir;
};

} // namespace

TEST_F(LabelprintTargets, APdfLabelPrintsAtItsOwnSize) {
    const LabelStream stream = decode(streamOf("'" + kSamplePdf + "'"));
    ASSERT_TRUE(stream.ok()) << stream.error;
    ASSERT_EQ(stream.labels.size(), 1u);
    EXPECT_EQ(stream.labels[0].widthBytes, 104); // 812 dots, 4 x 6 inches at 203 dpi
    EXPECT_EQ(stream.labels[0].heightDots, 1218);
    EXPECT_GT(stream.labels[0].printedDots, 20000u);

    const LabelStream finer = decode(streamOf("--dpi 300 '" + kSamplePdf + "'"));
    ASSERT_EQ(finer.labels.size(), 1u);
    EXPECT_EQ(finer.labels[0].widthBytes, 152); // 1200 dots
    EXPECT_EQ(finer.labels[0].heightDots, 1800);
}

TEST_F(LabelprintTargets, PdfPagesAndPicturesMakeOneJob) {
    const LabelStream stream =
        decode(streamOf("'" + kSamplePdf + "' '" + kSamplePng + "' '" + kSamplePdf + "'"));
    ASSERT_TRUE(stream.ok()) << stream.error;
    ASSERT_EQ(stream.labels.size(), 3u);
    EXPECT_EQ(stream.labels[0].bitmap, stream.labels[2].bitmap);
}

TEST_F(LabelprintTargets, APdfFromAPipePrintsAsFromItsFile) {
    const std::string fifo = dir.path("label.pdf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        const std::string bytes = readFile(kSamplePdf);
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    });
    const std::string piped = streamOf("'" + fifo + "'");
    writer.join();
    EXPECT_EQ(piped, streamOf("'" + kSamplePdf + "'"));
}

TEST_F(LabelprintTargets, RefusedPdfsWriteNothing) {
    const std::string sample = readFile(kSamplePdf);
    const std::string noPages = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                                "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\n"
                                "trailer << /Root 1 0 R >>\n%%EOF\n";
    const std::string cases[] = {
        dir.write("cut.pdf", sample.substr(0, sample.size() / 2)),
        dir.write("garbage.pdf", "%PDF-1.4\n" + std::string(300, 'x')),
        std::string(TEST_DATA_DIR) + "/encrypted-user-password.pdf",
        std::string(TEST_DATA_DIR) + "/encrypted-no-printing.pdf",
        dir.write("no-pages.pdf", noPages),
    };
    const std::string spool = dir.write("label.prn", "the previous job");
    for (const std::string& pdf : cases) {
        SCOPED_TRACE(pdf);
        expectOneLineNaming(run("-o '" + spool + "' '" + pdf + "'"), pdf);
        EXPECT_EQ(readFile(spool), "the previous job");
    }
}

TEST_F(LabelprintTargets, WithoutItsPdfReaderAPdfIsRefusedByName) {
    const std::string spool = dir.path("label.prn");
    const RunResult result = tools_test::runProgram(
        dir, "/usr/bin/env",
        "LABEL_PDF_MODULE=/nonexistent/liblabelpdf.so '" + std::string(LABELPRINT_PATH) +
            "' --plugin '" + std::string(LABEL_PLUGIN_PATH) + "' -o '" + spool + "' '" +
            kSamplePdf + "'");
    expectOneLineNaming(result, kSamplePdf);
    EXPECT_NE(result.err.find("PDF reader"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(spool));
}

TEST_F(LabelprintTargets, ANetworkPrinterGetsTheExactStream) {
    const std::string expected = streamOf("--job-start 1B40 '" + kSamplePdf + "'");
    support::LoopbackListener printer;
    std::string received;
    std::thread reader([&] { received = readConnection(printer); });
    const RunResult result = run("-o " + printer.name() + " --job-start 1B40 '" + kSamplePdf + "'");
    reader.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(received, expected);
}

TEST_F(LabelprintTargets, ActionsGoStraightToThePrinterAndNeverToAFile) {
    const struct {
        const char* arguments;
        const char* sent;
    } cases[] = {
        {"--action feed", "FORMFEED\r\n"},
        {"--action calibrate", "AUTODETECT\r\n"},
        {"--action calibrate --media gap:2", "GAPDETECT\r\n"},
        {"--action calibrate --media mark", "BLINEDETECT\r\n"},
        {"--action beep", "SOUND 5,200\r\n"},
    };
    for (const auto& c : cases) {
        support::LoopbackListener printer;
        std::string received;
        std::thread reader([&] { received = readConnection(printer); });
        const RunResult result = run("-o " + printer.name() + " " + c.arguments);
        reader.join();
        EXPECT_EQ(result.exitCode, 0) << c.arguments << ": " << result.err;
        EXPECT_EQ(received, c.sent) << c.arguments;
    }
    const std::string file = dir.path("not-a-printer.prn");
    dir.write("not-a-printer.prn", "kept");
    for (const std::string& refused : std::vector<std::string>{
             "-o '" + file + "' --action feed", "--action feed", "--action frobnicate",
             "-o '" + file + "' --action calibrate --media continuous",
             "-o '" + file + "' --action feed '" + kSamplePdf + "'"}) {
        const RunResult result = run(refused);
        EXPECT_EQ(result.exitCode, 2) << refused;
        EXPECT_NE(result.err.find("labelprint: "), std::string::npos) << refused;
    }
    EXPECT_EQ(readFile(file), "kept");
}

TEST_F(LabelprintTargets, ARefusedConnectionIsOneLine) {
    support::LoopbackListener gone;
    const std::string target = gone.name();
    gone.close();
    const RunResult result = run("-o " + target + " '" + kSamplePng + "'");
    expectOneLineNaming(result, target);
    EXPECT_NE(result.err.find("refused"), std::string::npos) << result.err;
}

TEST_F(LabelprintTargets, APrinterThatStopsReadingTimesOut) {
    // Two large pages, far more than the connection's buffers hold.
    std::string page = "P4\n4960 7016\n";
    std::mt19937 random(3);
    page.resize(page.size() + 620 * 7016);
    for (std::size_t i = 13; i < page.size(); ++i)
        page[i] = static_cast<char>(random());
    const std::string pbm = dir.write("a4.pbm", page);
    support::LoopbackListener printer(4096);
    int connection = -1; // accepted, and never read from
    std::thread acceptor([&] { connection = printer.accept(); });
    const auto start = std::chrono::steady_clock::now();
    const RunResult result =
        run("--timeout 1 --dpi 600 -o " + printer.name() + " '" + pbm + "' '" + pbm + "'");
    const auto took = std::chrono::steady_clock::now() - start;
    acceptor.join();
    ::close(connection);
    expectOneLineNaming(result, printer.name());
    EXPECT_NE(result.err.find("took no data for 1 second"), std::string::npos) << result.err;
    EXPECT_LT(took, std::chrono::seconds(20));
}

TEST_F(LabelprintTargets, APipeGetsTheStreamAndStaysAPipe) {
    const std::string expected = streamOf("'" + kSamplePng + "'");
    const std::string fifo = dir.path("printer.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readFifo(fifo); });
    const RunResult result = run("-o '" + fifo + "' '" + kSamplePng + "'");
    reader.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(received, expected);
    struct stat status {};
    ASSERT_EQ(::lstat(fifo.c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(LabelprintTargets, APipeWhoseReaderLeavesIsAFailureNotADeath) {
    const std::string fifo = dir.path("printer.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread reader([&] { readFifo(fifo, 10); });
    const RunResult result = run("-o '" + fifo + "' '" + kSamplePng + "' '" + kSamplePng + "'");
    reader.join();
    expectOneLineNaming(result, fifo); // exit 1, not the 141 of a SIGPIPE
    EXPECT_NE(result.err.find("reader closed"), std::string::npos) << result.err;
}

TEST_F(LabelprintTargets, ALinkStaysAndItsFileIsReplaced) {
    const std::string file = dir.write("label.prn", "the previous job");
    const std::string link = dir.path("printer.prn");
    std::filesystem::create_symlink(file, link);
    const RunResult result = run("-o '" + link + "' '" + kSamplePng + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(file), streamOf("'" + kSamplePng + "'"));
}

TEST_F(LabelprintTargets, ADeviceNodeIsWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device node needs root";
    const std::string node = dir.path("lp0");
    if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) // what /dev/null is
        GTEST_SKIP() << "mknod refused: " << std::strerror(errno);
    const RunResult result = run("-o '" + node + "' '" + kSamplePdf + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    struct stat status {};
    ASSERT_EQ(::lstat(node.c_str(), &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode) && status.st_rdev == makedev(1, 3));
}

TEST_F(LabelprintTargets, TheTimeoutIsAWholeNumberOfSeconds) {
    for (const char* value : {"0", "-3", "soon", "86401"}) {
        SCOPED_TRACE(value);
        const RunResult result = run(std::string("--timeout ") + value + " '" + kSamplePng + "'");
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("--timeout"), std::string::npos) << result.err;
    }
}
