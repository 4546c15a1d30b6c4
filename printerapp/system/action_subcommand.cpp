#include "printerapp/system/action_subcommand.h"

#include "printerapp/printers/printer_actions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// Where the sub-command reaches the server, and the printer's resource.
struct Server {
    http_t* http = nullptr;
    std::string printerUri;
    std::string resource;
};

// The server -u names, else the local socket PAPPL's sub-commands use: the
// one in /run for root, else in the temporary directory with the user's ID.
bool connectTo(const char* baseName, const char* uri, const char* printer, Server& server,
               std::string& error) {
    if (!uri) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string socket = geteuid() == 0
                                       ? std::string("/run/") + baseName + ".sock"
                                       : std::string(tmp ? tmp : "/tmp") + "/" + baseName +
                                             std::to_string(getuid()) + ".sock";
        server.http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC,
                                   HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
        if (!server.http) {
            error = "no server runs here (" + socket + "); name one with -u";
            return false;
        }
        server.resource = std::string("/ipp/print/") + printer;
        server.printerUri = "ipp://localhost" + server.resource;
        return true;
    }
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        error = std::string("bad URI ") + uri;
        return false;
    }
    server.resource = std::strncmp(resource, "/ipp/print/", 11) == 0 || !printer
                          ? std::string(resource)
                          : std::string("/ipp/print/") + printer;
    server.printerUri =
        std::string(scheme) + "://" + host + ":" + std::to_string(port) + server.resource;
    server.http = httpConnect2(host, port, nullptr, AF_UNSPEC,
                               std::strcmp(scheme, "ipps") == 0 ? HTTP_ENCRYPTION_ALWAYS
                                                                : HTTP_ENCRYPTION_IF_REQUESTED,
                               1, 30000, nullptr);
    if (!server.http) {
        error = std::string("cannot reach ") + host + ":" + std::to_string(port);
        return false;
    }
    return true;
}

} // namespace

int runActionSubcommand(const char* baseName, int count, cups_option_t* options) {
    const char* action = cupsGetOption("action", count, options);
    const char* printer = cupsGetOption("printer-name", count, options);
    const char* uri = cupsGetOption("printer-uri", count, options);
    if (!action || !printerActionNamed(action)) {
        std::fprintf(stderr, "%s: action: give -o action=feed, calibrate or beep\n", baseName);
        return 1;
    }
    if (!printer && (!uri || !std::strstr(uri, "/ipp/print/"))) {
        std::fprintf(stderr, "%s: action: name the printer with -d PRINTER\n", baseName);
        return 1;
    }
    Server server;
    std::string error;
    if (!connectTo(baseName, uri, printer, server, error)) {
        std::fprintf(stderr, "%s: action: %s\n", baseName, error.c_str());
        return 1;
    }
    ipp_t* request = ippNewRequest(static_cast<ipp_op_t>(kLabelActionOperation));
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 server.printerUri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "label-action", nullptr, action);
    ippDelete(cupsDoRequest(server.http, request, server.resource.c_str()));
    httpClose(server.http);
    if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        std::fprintf(stderr, "%s: action: %s\n", baseName, cupsLastErrorString());
        return 1;
    }
    return 0;
}
