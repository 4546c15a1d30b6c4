// The render worker: a process of the server's pool, started by the server,
// holding the plug-in and the PDF reader. It renders one job at a time as
// the server asks, any printer's, sending back the spool stream page by
// page, so that printers render side by side on every core and a crash or
// hang in rendering costs one job, never the server.
#pragma once

// The argument that makes label-printer-app a render worker, talking to the
// server on file descriptor 3; the next, when given, is the account it runs
// as ("uid:gid").
inline constexpr char kRenderWorkerArgument[] = "--render-worker";
inline constexpr int kRenderWorkerFd = 3;

// The worker's life: jobs until the server goes away; its exit status.
// `account` is the second argument, or null.
int runRenderWorker(const char* account);
