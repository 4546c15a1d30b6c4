#include "printerapp/rendering/worker_sandbox.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <linux/landlock.h>
#include <pwd.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

std::string failed(const char* step) {
    return std::string("cannot ") + step + " (" + std::strerror(errno) + ")";
}

std::optional<WorkerAccount> lookUp(const std::string& name) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwnam_r(name.c_str(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return std::nullopt;
    return WorkerAccount{name, found->pw_uid, found->pw_gid};
}

bool dropTo(const WorkerAccount& account, std::string& error) {
    if (setgroups(0, nullptr) != 0)
        return (error = failed("drop the supplementary groups")), false;
    if (setresgid(account.gid, account.gid, account.gid) != 0)
        return (error = failed(("become group " + std::to_string(account.gid)).c_str())), false;
    if (setresuid(account.uid, account.uid, account.uid) != 0)
        return (error = failed(("become user " + std::to_string(account.uid)).c_str())), false;
    // Root must be out of reach for good.
    if (setuid(0) == 0)
        return (error = "the worker could become root again"), false;
    return true;
}

// Every way of writing to the file system the kernel's Landlock knows,
// refused everywhere: the worker only reads (its document comes open, its
// output goes back on the socket).
bool refuseFileWrites(std::string& error) {
    const long abi =
        syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return true; // a kernel without Landlock: the user's own rights hold
    landlock_ruleset_attr rules{};
    rules.handled_access_fs = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                              LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                              LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                              LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                              LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
#ifdef LANDLOCK_ACCESS_FS_REFER
    if (abi >= 2)
        rules.handled_access_fs |= LANDLOCK_ACCESS_FS_REFER;
#endif
#ifdef LANDLOCK_ACCESS_FS_TRUNCATE
    if (abi >= 3)
        rules.handled_access_fs |= LANDLOCK_ACCESS_FS_TRUNCATE;
#endif
    const int ruleset =
        static_cast<int>(syscall(SYS_landlock_create_ruleset, &rules, sizeof rules, 0));
    if (ruleset < 0)
        return (error = failed("make the file system rules")), false;
    const bool applied = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int why = errno;
    close(ruleset);
    errno = why;
    return applied || ((error = failed("restrict file writes")), false);
}

// No new socket (the one to the server is open already) and no program.
bool refuseSocketsAndPrograms(std::string& error) {
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return (error = "cannot make the system call filter"), false;
    const int refused = SCMP_ACT_ERRNO(EACCES);
    const int steps[] = {
        seccomp_rule_add(filter, refused, SCMP_SYS(socket), 0),
        seccomp_rule_add(filter, refused, SCMP_SYS(socketpair), 0),
        seccomp_rule_add(filter, refused, SCMP_SYS(execve), 0),
        seccomp_rule_add(filter, refused, SCMP_SYS(execveat), 0),
        seccomp_load(filter),
    };
    seccomp_release(filter);
    for (const int step : steps) {
        if (step != 0) {
            errno = -step;
            return (error = failed("load the system call filter")), false;
        }
    }
    return true;
}

} // namespace

std::optional<WorkerAccount> workerAccount(const std::string& named, std::string& error) {
    if (geteuid() != 0)
        return std::nullopt;
    std::optional<WorkerAccount> account = lookUp(named.empty() ? kWorkerUser : named);
    if (!account && named.empty())
        account = lookUp(kFallbackWorkerUser);
    if (!account) {
        error = "no user " + (named.empty() ? std::string(kFallbackWorkerUser) : named) +
                " for the render workers";
        return std::nullopt;
    }
    if (account->uid == 0) {
        error = "the render workers' user " + account->name + " is root";
        return std::nullopt;
    }
    return account;
}

bool joinWorkerGroup(const WorkerAccount& account, std::string& error) {
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(count > 0 ? count : 0) + 1);
    const int got = getgroups(count, groups.data());
    if (got < 0)
        return (error = failed("list the server's groups")), false;
    groups.resize(static_cast<std::size_t>(got));
    if (std::find(groups.begin(), groups.end(), account.gid) != groups.end())
        return true;
    groups.push_back(account.gid);
    if (setgroups(groups.size(), groups.data()) != 0)
        return (error = failed("join the render workers' group")), false;
    return true;
}

std::string accountArgument(const WorkerAccount& account) {
    return std::to_string(account.uid) + ":" + std::to_string(account.gid);
}

std::optional<WorkerAccount> parseAccountArgument(const char* text) {
    unsigned long uid = 0, gid = 0;
    int used = 0;
    const char* colon = text ? std::strchr(text, ':') : nullptr;
    if (!colon || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(colon[1])) ||
        std::sscanf(text, "%lu:%lu%n", &uid, &gid, &used) != 2 || text[used] != '\0')
        return std::nullopt;
    return WorkerAccount{"", static_cast<uid_t>(uid), static_cast<gid_t>(gid)};
}

bool enterWorkerSandbox(const std::optional<WorkerAccount>& account, std::string& error) {
    if (account && !dropTo(*account, error))
        return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return (error = failed("give up new privileges")), false;
    return refuseFileWrites(error) && refuseSocketsAndPrograms(error);
}
