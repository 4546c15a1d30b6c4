// A render worker's walls, tried from inside: a child process enters them
// and tries what a hostile document would make poppler try.
#include "printerapp/rendering/worker_sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// What the child found, a bit each.
enum Found : int {
    kEntered = 1,
    kSocketRefused = 2,
    kWriteRefused = 4,
    kProgramRefused = 8,
    kReadsOpenFile = 16,
    kNotRoot = 32,
};

// Runs the walls in a child; what it found, or -1 when it died.
int triedInside(const std::optional<WorkerAccount>& account, const std::string& scratch,
                int openFile) {
    const pid_t child = fork();
    if (child == 0) {
        int found = 0;
        std::string error;
        if (enterWorkerSandbox(account, error))
            found |= kEntered;
        if (socket(AF_INET, SOCK_STREAM, 0) < 0 && socket(AF_UNIX, SOCK_STREAM, 0) < 0)
            found |= kSocketRefused;
        const std::string written = scratch + "/written";
        if (open(written.c_str(), O_WRONLY | O_CREAT, 0600) < 0 &&
            open("/dev/shm/label-worker-test", O_WRONLY | O_CREAT, 0600) < 0 &&
            mkdir((scratch + "/made").c_str(), 0700) != 0)
            found |= kWriteRefused;
        char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
        execv("/bin/true", argv);
        found |= kProgramRefused;
        char byte = 0;
        const int again = open(("/proc/self/fd/" + std::to_string(openFile)).c_str(), O_RDONLY);
        if (again >= 0 && read(again, &byte, 1) == 1 && byte == 'L')
            found |= kReadsOpenFile;
        if (getuid() != 0 && geteuid() != 0 && setuid(0) != 0)
            found |= kNotRoot;
        _exit(found);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class WorkerSandbox : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/worker-sandbox-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        scratch = name;
        chmod(scratch.c_str(), 0777); // writable by anyone, but for the walls
        document = open((scratch + "/document").c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_GE(document, 0);
        ASSERT_EQ(write(document, "L", 1), 1);
    }
    void TearDown() override {
        close(document);
        unlink((scratch + "/document").c_str());
        unlink((scratch + "/written").c_str());
        rmdir((scratch + "/made").c_str());
        unlink("/dev/shm/label-worker-test");
        rmdir(scratch.c_str());
    }
    std::string scratch;
    int document = -1;
};

TEST_F(WorkerSandbox, NoSocketNoWriteNoProgramButItsDocument) {
    const int found = triedInside(std::nullopt, scratch, document);
    EXPECT_TRUE(found & kEntered);
    EXPECT_TRUE(found & kSocketRefused);
    EXPECT_TRUE(found & kWriteRefused);
    EXPECT_TRUE(found & kProgramRefused);
    EXPECT_TRUE(found & kReadsOpenFile) << "the document handed over stays readable";
}

TEST_F(WorkerSandbox, RootGivesWorkersAnUnprivilegedUserForGood) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root: the workers change user only under a root server";
    std::string error;
    const std::optional<WorkerAccount> account = workerAccount("", error);
    ASSERT_TRUE(account) << error;
    EXPECT_NE(account->uid, 0u);
    // The document as the server hands it: its group the worker's, readable.
    ASSERT_EQ(fchown(document, static_cast<uid_t>(-1), account->gid), 0);
    ASSERT_EQ(fchmod(document, 0640), 0);
    const int found = triedInside(account, scratch, document);
    EXPECT_TRUE(found & kEntered);
    EXPECT_TRUE(found & kNotRoot);
    EXPECT_TRUE(found & kReadsOpenFile);
    EXPECT_TRUE(found & kWriteRefused);

    EXPECT_FALSE(workerAccount("no-such-user-for-labels", error));
    EXPECT_NE(error.find("no-such-user-for-labels"), std::string::npos);
    EXPECT_FALSE(workerAccount("root", error)) << "root is no worker's user";
}

TEST(WorkerAccountArgument, RoundTripsAndRefusesJunk) {
    const auto parsed = parseAccountArgument(accountArgument({"", 65534, 65533}).c_str());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->uid, 65534u);
    EXPECT_EQ(parsed->gid, 65533u);
    for (const char* junk : {"", "65534", "1:2:3", "a:b", "1:2x", "-1:2"})
        EXPECT_FALSE(parseAccountArgument(junk)) << junk;
}

} // namespace
