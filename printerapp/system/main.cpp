// label-printer-app: makes a USB or network label printer a driverless IPP
// Everywhere printer. Every label goes through the same plug-in code, and
// the printer receives the same bytes, as labelprint and the Windows DLL.
#include "printerapp/rendering/render_worker.h"
#include "printerapp/system/action_subcommand.h"
#include "printerapp/system/app_system.h"
#include "project_version.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstring>

namespace {

// The server a sub-command names with -u, or nullptr.
const char* namedServer(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0)
            return i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strncmp(argv[i], "-u", 2) == 0)
            return argv[i] + 2;
    }
    return nullptr;
}

// PAPPL 1.3.1's main loop starts a private server of its own ("server -o
// private-server=true", left running) when a sub-command's server does not
// answer, even one named with -u, and then talks to that one instead; so a
// sub-command given -u first checks that something listens there. False,
// with the reason on standard error, when nothing does.
bool namedServerAnswers(const char* uri) {
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
        return true; // PAPPL names a bad URI itself
    http_t* http = httpConnect2(host, port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                5000, nullptr);
    if (!http) {
        std::fprintf(stderr,
                     "label-printer-app: no server answers at %s:%d; start one there first "
                     "(label-printer-app server -o server-port=%d).\n",
                     host, port, port);
        return false;
    }
    httpClose(http);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if ((argc == 2 || argc == 3) && std::strcmp(argv[1], kRenderWorkerArgument) == 0)
        return runRenderWorker(argc == 3 ? argv[2] : nullptr);
    const bool server = argc > 1 && std::strcmp(argv[1], "server") == 0;
    if (const char* uri = namedServer(argc, argv); uri && !server && !namedServerAnswers(uri))
        return 1;
    // The drivers are the system's own (createSystem), where the callback
    // for new printers is set with them.
    return papplMainloop(
        argc, argv, kProjectVersion, nullptr, 0, nullptr, nullptr, nullptr, "action",
        [](const char* base, int count, cups_option_t* options, int, char**, void*) {
            return runActionSubcommand(base, count, options);
        },
        createSystem, nullptr, nullptr);
}
