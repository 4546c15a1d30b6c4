// Printing for everyone, settings for administrators. Once an
// authentication service is set (the program sets PAM's "login" whenever it
// serves beyond loopback), PAPPL 1.3.1 (client-auth.c) asks every request
// from another host to be encrypted and to log in, Print-Job included: a
// phone, a Windows PC or a CUPS server could not print without an account
// on the server. The printer operations ask with `allowRemote` set; the
// program lets those that print, query and cancel pass for anyone who
// reaches the server, as any network printer does, unless the printer has a
// print group. Everything else (settings, printers, other people's jobs:
// PAPPL asks those with the admin group) keeps PAPPL's own check: an
// encrypted connection and an administrator's login. The local socket and
// a server on loopback alone are PAPPL's as before. (The build leaves this
// file out from PAPPL 1.4 on.)
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <pappl/pappl.h>

namespace {

// The job a Cancel-Job names, by job-id or by the number ending its job-uri.
pappl_job_t* namedJob(pappl_client_t* client) {
    pappl_printer_t* printer = papplClientGetPrinter(client);
    ipp_t* request = papplClientGetRequest(client);
    if (!printer || !request)
        return nullptr;
    int id = 0;
    if (ipp_attribute_t* number = ippFindAttribute(request, "job-id", IPP_TAG_INTEGER))
        id = ippGetInteger(number, 0);
    else if (ipp_attribute_t* uri = ippFindAttribute(request, "job-uri", IPP_TAG_URI))
        if (const char* slash = std::strrchr(ippGetString(uri, 0, nullptr), '/'))
            id = std::atoi(slash + 1);
    return id > 0 ? papplPrinterFindJob(printer, id) : nullptr;
}

// Whether the request comes from the user who sent the job it cancels, as
// the client names its user (requesting-user-name): without a login, the
// name is all a network printer has to go by.
bool cancelsOwnJob(pappl_client_t* client) {
    pappl_job_t* job = namedJob(client);
    ipp_attribute_t* user =
        ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME);
    const char* owner = job ? papplJobGetUsername(job) : nullptr;
    const char* name = user ? ippGetString(user, 0, nullptr) : nullptr;
    return owner && name && std::strcmp(owner, name) == 0;
}

// What a network printer does for anyone: print, look, cancel one's own job.
bool servesAnyone(pappl_client_t* client) {
    switch (papplClientGetOperation(client)) {
    case IPP_OP_PRINT_JOB:
    case IPP_OP_VALIDATE_JOB:
    case IPP_OP_CREATE_JOB:
    case IPP_OP_SEND_DOCUMENT:
    case IPP_OP_CLOSE_JOB:
    case IPP_OP_GET_JOB_ATTRIBUTES:
    case IPP_OP_GET_JOBS:
    case IPP_OP_GET_PRINTER_ATTRIBUTES:
    case IPP_OP_VALIDATE_DOCUMENT:
        return true;
    case IPP_OP_CANCEL_JOB:
        return cancelsOwnJob(client);
    default:
        return false;
    }
}

} // namespace

extern "C" http_status_t _papplClientIsAuthorizedForGroup(pappl_client_t* client, bool allowRemote,
                                                          const char* group, gid_t groupId) {
    using Check = http_status_t (*)(pappl_client_t*, bool, const char*, gid_t);
    static const auto library =
        reinterpret_cast<Check>(dlsym(RTLD_NEXT, "_papplClientIsAuthorizedForGroup"));
    if (allowRemote && (!group || !*group) && servesAnyone(client))
        return HTTP_STATUS_CONTINUE;
    return library(client, allowRemote, group, groupId);
}
