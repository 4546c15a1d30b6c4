// Where a render worker may reach. The worker parses documents from anyone
// who can reach a printer (PDFs through poppler among them), so it runs
// with as little as it needs: as an unprivileged user when the server is
// root, unable to gain privileges, to open a socket, to start a program or
// to write to any file; it reads the document it is handed as an open file.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// The user the workers run as, while the server runs as root.
struct WorkerAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
};

// The account packaged for the workers.
inline constexpr char kWorkerUser[] = "label-printer-app";
// The account every system has, when the packaged one is missing.
inline constexpr char kFallbackWorkerUser[] = "nobody";

// The workers' account for a server running as root: the user `named`, or
// with none named kWorkerUser, else kFallbackWorkerUser. Nullopt when the
// server is not root (the workers keep its user), or, with `error`, when
// the named user does not exist or is root.
std::optional<WorkerAccount> workerAccount(const std::string& named, std::string& error);

// Makes the server (root) a member of the workers' group as well, so that
// it may hand a document to that group without CAP_CHOWN, which a
// locked-down service lacks; false, with `error`, when it cannot.
bool joinWorkerGroup(const WorkerAccount& account, std::string& error);

// The account as the worker's command line carries it ("uid:gid"), and back.
std::string accountArgument(const WorkerAccount& account);
std::optional<WorkerAccount> parseAccountArgument(const char* text);

// Closes the worker in, before it reads any document: drops to `account`
// when given, then no new privileges, no writes to any file, no sockets and
// no programs. False, with `error`, when a step the system offers fails;
// a kernel without a step (no Landlock) leaves that step out.
bool enterWorkerSandbox(const std::optional<WorkerAccount>& account, std::string& error);
