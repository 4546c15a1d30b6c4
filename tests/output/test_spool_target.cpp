#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_listener.h"
#include "output/spool_target.h"
#include "output/tcp_connection.h"
#include "support/scratch_files.h"

namespace {

using support::acceptWithin;
using support::LoopbackListener;

using tools_test::readFile;
using tools_test::ScratchDir;
using Clock = std::chrono::steady_clock;

// Every byte value, in an order no buffer size lines up with.
std::string streamBytes(std::size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

// Pieces smaller than, equal to and larger than the target's buffer.
bool writeInPieces(SpoolTarget& target, const std::string& bytes) {
    static const std::size_t pieces[] = {1, 13, 4096, 65536, 70001, 3, 200000};
    for (std::size_t at = 0, i = 0; at < bytes.size(); at += pieces[i++ % 7])
        if (!target.write(bytes.data() + at, std::min(pieces[i % 7], bytes.size() - at)))
            return false;
    return true;
}

std::set<std::string> namesIn(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

mode_t fileType(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

// Reads a descriptor to its end on a thread of its own, giving up after five
// quiet seconds so that a broken target cannot hang the tests.
class Drain {
  public:
    explicit Drain(int descriptor)
        : thread_([this, descriptor] {
              char chunk[16384];
              pollfd ready{descriptor, POLLIN, 0};
              while (descriptor >= 0 && ::poll(&ready, 1, 5000) > 0) {
                  const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
                  if (got <= 0 && (got == 0 || errno != EAGAIN))
                      break;
                  received_.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
                  count_ = received_.size();
              }
              if (descriptor >= 0)
                  ::close(descriptor);
          }) {}
    ~Drain() { finish(); }
    bool waitFor(std::size_t bytes) const {
        for (int ms = 0; count_ < bytes && ms < 5000; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return count_ >= bytes;
    }
    std::string finish() {
        if (thread_.joinable())
            thread_.join();
        return received_;
    }

  private:
    std::string received_;
    std::atomic<std::size_t> count_{0};
    std::thread thread_;
};

TEST(SpoolTargetFile, CommitWritesTheWholeStreamAndNothingBefore) {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    for (const mode_t before : {mode_t{0}, mode_t{0640}}) { // 0: a new file
        SCOPED_TRACE(before);
        ScratchDir dir;
        const std::string path = dir.path("job.prn");
        if (before != 0) {
            dir.write("job.prn", "old");
            ::chmod(path.c_str(), before);
        }
        const std::string stream = streamBytes(700000);
        std::string error;
        auto target = SpoolTarget::open(path, 5, error);
        ASSERT_TRUE(target) << error;
        EXPECT_FALSE(target->streams());
        ASSERT_TRUE(writeInPieces(*target, stream) && target->flush()) << target->error();
        EXPECT_EQ(readFile(path), before != 0 ? "old" : "");
        EXPECT_EQ(std::filesystem::exists(path), before != 0);
        ASSERT_TRUE(target->commit()) << target->error();
        EXPECT_EQ(readFile(path), stream);
        EXPECT_EQ(namesIn(dir.path("")), std::set<std::string>{"job.prn"});
        struct stat status {};
        ::stat(path.c_str(), &status);
        EXPECT_EQ(status.st_mode & 0777, before != 0 ? before : 0666 & ~mask);
    }
}

TEST(SpoolTargetFile, UnfinishedJobLeavesTheFileAsItWas) {
    enum End { abandon, abandonTwice, destroy, commitAfterAbandon };
    for (End end : {abandon, abandonTwice, destroy, commitAfterAbandon}) {
        for (bool exists : {true, false}) {
            SCOPED_TRACE(testing::Message() << "end " << end << ", exists " << exists);
            ScratchDir dir;
            const std::string path = exists ? dir.write("job.prn", "old") : dir.path("job.prn");
            std::string error;
            auto target = SpoolTarget::open(path, 5, error);
            ASSERT_TRUE(target) << error;
            ASSERT_TRUE(writeInPieces(*target, streamBytes(100000)) && target->flush());
            if (end != destroy)
                target->abandon();
            if (end == abandonTwice)
                target->abandon();
            if (end == commitAfterAbandon) {
                EXPECT_FALSE(target->write("x", 1) || target->commit());
            }
            target.reset();
            EXPECT_EQ(namesIn(dir.path("")),
                      exists ? std::set<std::string>{"job.prn"} : std::set<std::string>{});
            EXPECT_EQ(readFile(path), exists ? "old" : "");
        }
    }
}

TEST(SpoolTargetFile, LinksStayAndTheFileTheyNameIsReplaced) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links; // link, what it points to
        std::string final;
        bool finalExists;
    };
    const std::vector<Case> cases = {
        {"link", {{"out.prn", "real.prn"}}, "real.prn", true},
        {"chain",
         {{"out.prn", "sub/middle.prn"}, {"sub/middle.prn", "../deep/real.prn"}},
         "deep/real.prn",
         true},
        {"dangling link", {{"out.prn", "sub/later.prn"}}, "sub/later.prn", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        std::filesystem::create_directories(dir.path("sub"));
        std::filesystem::create_directories(dir.path("deep"));
        if (c.finalExists)
            dir.write(c.final, "old");
        for (const auto& [link, to] : c.links)
            std::filesystem::create_symlink(to, dir.path(link));
        std::string error;
        auto target = SpoolTarget::open(dir.path("out.prn"), 5, error);
        ASSERT_TRUE(target) << error;
        ASSERT_TRUE(target->write("label", 5) && target->commit()) << target->error();
        for (const auto& [link, to] : c.links)
            EXPECT_EQ(std::filesystem::read_symlink(dir.path(link)).string(), to);
        EXPECT_EQ(fileType(dir.path(c.final)), S_IFREG);
        EXPECT_EQ(readFile(dir.path(c.final)), "label");
        for (const char* folder : {"", "sub", "deep"})
            for (const std::string& name : namesIn(dir.path(folder)))
                EXPECT_EQ(name.find(".prn."), std::string::npos) << "left behind: " << name;
    }
}

// Targets that take bytes as they come are opened in place and see each
// page once it is flushed, while the next is still being written.
TEST(SpoolTargetStreams, FlushedPagesArriveBeforeCommitAndTheTargetStays) {
    enum Kind { fifo, localSocket, tcpAddress, tcpName };
    for (Kind kind : {fifo, localSocket, tcpAddress, tcpName}) {
        SCOPED_TRACE(kind);
        ScratchDir dir;
        LoopbackListener tcp;
        std::string name = kind == fifo ? dir.path("out.fifo") : dir.path("printer.sock");
        int listener = -1;
        int readEnd = -1;
        if (kind == fifo) {
            ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
            readEnd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        } else if (kind == localSocket) {
            listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{AF_UNIX, {}};
            name.copy(address.sun_path, sizeof address.sun_path - 1);
            ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ::listen(listener, 1);
        } else {
            name = tcp.name();
            if (kind == tcpName)
                name.replace(name.find("127.0.0.1"), 9, "localhost");
        }
        const mode_t type = fileType(name);
        std::string error;
        auto target = SpoolTarget::open(name, 5, error);
        ASSERT_TRUE(target) << error;
        EXPECT_TRUE(target->streams());
        Drain reader(kind == fifo          ? readEnd
                     : kind == localSocket ? acceptWithin(listener)
                                           : tcp.accept());
        const std::string page1 = streamBytes(3000, 1);
        const std::string page2 = streamBytes(900000, 2);
        ASSERT_TRUE(target->write(page1.data(), page1.size()) && target->flush());
        EXPECT_TRUE(reader.waitFor(page1.size())) << "the first page stayed in the buffer";
        ASSERT_TRUE(writeInPieces(*target, page2) && target->commit()) << target->error();
        EXPECT_EQ(reader.finish(), page1 + page2);
        EXPECT_EQ(fileType(name), type);
        EXPECT_EQ(namesIn(dir.path("")).size(), kind == fifo || kind == localSocket ? 1u : 0u);
        if (listener >= 0)
            ::close(listener);
    }
}

TEST(SpoolTargetStreams, CharacterDeviceIsWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a device node needs root";
    ScratchDir dir;
    const std::string path = dir.path("lp0");
    if (::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod refused: " << std::strerror(errno);
    const int probe = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0)
        GTEST_SKIP() << "device nodes do not open in the scratch directory (nodev?)";
    ::close(probe);
    std::string error;
    auto target = SpoolTarget::open(path, 5, error);
    ASSERT_TRUE(target) << error;
    ASSERT_TRUE(writeInPieces(*target, streamBytes(500000)) && target->commit()) << target->error();
    struct stat status {};
    ASSERT_EQ(::lstat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode) && status.st_rdev == makedev(1, 3));
    EXPECT_EQ(namesIn(dir.path("")), std::set<std::string>{"lp0"});
}

// A serial port in its usual cooked mode would send each line feed as CR LF;
// a pseudo-terminal stands in for the port.
TEST(SpoolTargetStreams, ATerminalPortPassesEveryByteThrough) {
    const int controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(controller, 0) << std::strerror(errno);
    ASSERT_EQ(::grantpt(controller), 0);
    ASSERT_EQ(::unlockpt(controller), 0);
    const std::string port = ::ptsname(controller);
    std::string error;
    auto target = SpoolTarget::open(port, 5, error);
    ASSERT_TRUE(target) << error;
    const std::string bytes("A\nB\r\n\x03\x7F\xFF\x00Z", 9);
    ASSERT_TRUE(target->write(bytes.data(), bytes.size()) && target->flush()) << target->error();
    std::string arrived;
    char block[64];
    while (arrived.size() < bytes.size()) {
        pollfd ready{controller, POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 5000), 1) << "arrived so far: " << arrived.size();
        const ssize_t got = ::read(controller, block, sizeof block);
        ASSERT_GT(got, 0);
        arrived.append(block, static_cast<std::size_t>(got));
    }
    EXPECT_EQ(arrived, bytes);
    EXPECT_TRUE(target->commit()) << target->error();
    ::close(controller);
}

// SIGPIPE keeps its default disposition: the process would die if the
// module let one through.
TEST(SpoolTargetStreams, ReaderLeavingIsAnErrorNotADeath) {
    enum Before { unblocked, blocked, blockedAndPending };
    for (Before before : {unblocked, blocked, blockedAndPending}) {
        SCOPED_TRACE(before);
        ScratchDir dir;
        const std::string path = dir.path("out.fifo");
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        std::string error;
        auto target = SpoolTarget::open(path, 5, error);
        ASSERT_TRUE(target) << error;
        ::close(reader);

        sigset_t pipeOnly, original, mask, pending;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        pthread_sigmask(before == unblocked ? SIG_UNBLOCK : SIG_BLOCK, &pipeOnly, &original);
        if (before == blockedAndPending)
            pthread_kill(pthread_self(), SIGPIPE);
        const std::string stream = streamBytes(200000);
        const bool ok = target->write(stream.data(), stream.size()) && target->commit();
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        sigpending(&pending);
        const bool stillPending = sigismember(&pending, SIGPIPE);
        const timespec zero{};
        if (stillPending)
            sigtimedwait(&pipeOnly, nullptr, &zero);
        pthread_sigmask(SIG_SETMASK, &original, nullptr);

        EXPECT_FALSE(ok);
        EXPECT_EQ(target->error(), path + ": the reader closed the pipe");
        EXPECT_EQ(sigismember(&mask, SIGPIPE), before != unblocked);
        EXPECT_EQ(stillPending, before == blockedAndPending)
            << "the module's own SIGPIPE must be taken back, any other left alone";
    }
}

// Standard output is a pipe for the length of each case, restored before
// anything is checked so that test output still shows.
TEST(SpoolTargetStreams, StandardOutputKeepsItsFlags) {
    const std::pair<const char*, bool> cases[] = {{"", false}, {"-", false}, {"-", true}};
    for (const auto& [name, readerLeft] : cases) {
        SCOPED_TRACE(testing::Message() << '"' << name << "\", reader left " << readerLeft);
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(ends[1], STDOUT_FILENO);
        ::close(ends[1]);
        if (readerLeft)
            ::close(ends[0]);
        Drain reader(readerLeft ? -1 : ends[0]);
        const int flagsBefore = ::fcntl(STDOUT_FILENO, F_GETFL);
        const std::string stream = streamBytes(150000);
        std::string error;
        auto target = SpoolTarget::open(name, 1, error);
        const bool ok = target && writeInPieces(*target, stream) && target->commit();
        const int flagsAfter = ::fcntl(STDOUT_FILENO, F_GETFL);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);

        ASSERT_TRUE(target) << error;
        EXPECT_EQ(flagsAfter, flagsBefore);
        EXPECT_EQ(ok, !readerLeft) << target->error();
        EXPECT_EQ(target->error(), readerLeft ? "standard output: the reader closed the pipe" : "");
        EXPECT_EQ(reader.finish(), readerLeft ? "" : stream);
    }
}

TEST(SpoolTargetNetwork, ReadsPrinterAddresses) {
    struct Case {
        std::string target;
        std::string host; // empty: refused with `message`
        int port;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"socket://printer", "printer", 9100, ""},
        {"socket://printer:515", "printer", 515, ""},
        {"socket://[::1]:9101", "::1", 9101, ""},
        {"socket://[fe80::1]", "fe80::1", 9100, ""},
        {"socket://host:", "", 0, "not a port number"},
        {"socket://host:65536", "", 0, "not a port number"},
        {"socket://host:+80", "", 0, "not a port number"},
        {"socket://::1:9100", "", 0, "in brackets"},
        {"socket://[::1:9100", "", 0, "no ]"},
        {"socket://[::1]9100", "", 0, "socket://HOST[:PORT]"},
        {"socket://host/queue", "", 0, "socket://HOST[:PORT]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        PrinterAddress address;
        std::string error;
        const bool ok = parsePrinterAddress(c.target, address, error);
        EXPECT_EQ(ok, !c.host.empty());
        EXPECT_EQ(ok ? address.host : "", c.host);
        EXPECT_EQ(ok ? address.port : 0, c.port);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

// SIGPIPE keeps its default disposition: a printer hanging up must not end
// the process.
TEST(SpoolTargetNetwork, PrinterThatHangsUpOrStopsReadingFails) {
    for (const bool hangsUp : {true, false}) {
        SCOPED_TRACE(hangsUp ? "hangs up" : "stops reading");
        LoopbackListener listener(4096);
        std::string error;
        auto target = SpoolTarget::open(listener.name(), 1, error);
        ASSERT_TRUE(target) << error;
        const int accepted = listener.accept();
        if (hangsUp)
            ::close(accepted);
        const std::string piece = streamBytes(256 * 1024);
        const auto start = Clock::now();
        bool ok = true;
        for (int i = 0; ok && i < 256; ++i)
            ok = target->write(piece.data(), piece.size());
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
        EXPECT_FALSE(ok || target->commit()) << "64 MiB went to a printer taking nothing";
        EXPECT_EQ(target->error().rfind(
                      listener.name() + ": the printer " +
                          (hangsUp ? "closed the connection (" : "took no data for 1 second"),
                      0),
                  0u)
            << target->error();
        if (!hangsUp)
            ::close(accepted);
    }
}

TEST(SpoolTargetBadTargets, FailAtOpenWithOneLineAndChangeNothing) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path("folder"));
    const std::string fifo = dir.path("out.fifo");
    ::mkfifo(fifo.c_str(), 0600);
    std::string closedPort = LoopbackListener().name(); // closed again at once
    const std::pair<std::string, std::string> cases[] = {
        {"socket://", "no printer host given"},
        {"socket://host:0", "is not a port number"},
        {"socket://host:notaport", "is not a port number"},
        {"socket://host:99999", "is not a port number"},
        {closedPort, "cannot connect (Connection refused)"},
        {dir.path("missing/job.prn"),
         "cannot create a file in " + dir.path("missing") + " (No such file or directory)"},
        {dir.path("folder"), "is a directory"},
        {dir.path("job.prn/"), "(No such file or directory)"},
        {fifo, "no program is reading the pipe (waited 1 second)"},
    };
    for (const auto& [target, message] : cases) {
        SCOPED_TRACE(target);
        std::string error;
        const auto start = Clock::now();
        EXPECT_FALSE(SpoolTarget::open(target, 1, error));
        if (target == fifo) { // a reader may yet come
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
        }
        EXPECT_EQ(error.rfind(target + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(namesIn(dir.path("")), (std::set<std::string>{"folder", "out.fifo"}));
    EXPECT_EQ(fileType(fifo), S_IFIFO);
}

} // namespace
