#include "printerapp/system/app_system.h"

#include "host/installed_files.h"
#include "printerapp/devices/printer_link.h"
#include "printerapp/jobs/job_filters.h"
#include "printerapp/jobs/job_lanes.h"
#include "printerapp/printers/printer_actions.h"
#include "printerapp/printers/printer_pages.h"
#include "printerapp/system/app_context.h"
#include "printerapp/system/label_driver.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <malloc.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kAppName[] = "label-printer-app";
constexpr int kDefaultPort = 8000;
// More render workers than this is a typing slip, not a machine.
constexpr long kMostRenderWorkers = 1024;

std::string option(const char* name, int count, cups_option_t* options, const char* fallback) {
    const char* value = cupsGetOption(name, count, options);
    return value ? value : fallback;
}

// Makes `path` and its parents; false when one cannot be made.
bool makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// Where everything is kept when no spool directory is given: the user's data
// directory, as the XDG convention places it.
std::string defaultDirectory() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::string(data) + "/" + kAppName;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/" + kAppName;
}

pappl_loglevel_t logLevel(const std::string& name) {
    if (name == "debug")
        return PAPPL_LOGLEVEL_DEBUG;
    if (name == "warn")
        return PAPPL_LOGLEVEL_WARN;
    if (name == "error")
        return PAPPL_LOGLEVEL_ERROR;
    if (name == "fatal")
        return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_INFO;
}

// A printer the user deleted loses its settings with it. (PAPPL also lets go
// of every printer when the server stops, which must keep them.)
void onEvent(pappl_system_t*, pappl_printer_t* printer, pappl_job_t*, pappl_event_t event, void*) {
    if (printer && (event & PAPPL_EVENT_PRINTER_DELETED))
        appContext().printers->forget(papplPrinterGetID(printer));
}

bool saveState(pappl_system_t*, void* saving) {
    static_cast<StateSaving*>(saving)->request();
    return true;
}

void collectPrinter(pappl_printer_t* printer, void* printers) {
    static_cast<std::vector<pappl_printer_t*>*>(printers)->push_back(printer);
}

// Printers loaded from the state file get their settings and pages too, once
// the system no longer holds them for the listing.
void setUpLoadedPrinters(pappl_system_t* system) {
    std::vector<pappl_printer_t*> printers;
    papplSystemIteratePrinters(system, collectPrinter, &printers);
    for (pappl_printer_t* printer : printers) {
        labelPrinterCreated(printer, nullptr);
#ifdef LABEL_PAPPL_1_3_MENDS
        if (appContext().printers->paused(papplPrinterGetID(printer)))
            papplPrinterPause(printer);
        noteUnfinishedJobs(printer);
#endif
    }
}

// How many render workers may run at once: -o render-workers=N, else one
// for each core. Nullopt, with the reason, for a value that is no count.
std::optional<std::size_t> workerLimit(int count, cups_option_t* options, std::string& problem) {
    const std::string value = option("render-workers", count, options, "");
    if (value.empty())
        return RenderWorkers::defaultLimit();
    char* end = nullptr;
    errno = 0;
    const long limit = std::strtol(value.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || limit < 1 || limit > kMostRenderWorkers) {
        problem = "render-workers=" + value + ": a number of workers from 1 to " +
                  std::to_string(kMostRenderWorkers) + " is wanted";
        return std::nullopt;
    }
    return static_cast<std::size_t>(limit);
}

// How long an idle render worker is kept. Tests shorten it through the
// environment (LABEL_WORKER_IDLE_MS) to see workers end within seconds; it is
// no setting of a site's: a warm worker costs little, and how long it stays
// changes nothing a client sees.
std::chrono::milliseconds workerIdleTime() {
    const char* value = std::getenv("LABEL_WORKER_IDLE_MS");
    const long ms = value ? std::atol(value) : 0;
    return ms > 0 ? std::chrono::milliseconds(ms)
                  : std::chrono::duration_cast<std::chrono::milliseconds>(kWorkerIdleFor);
}

} // namespace

AppContext& appContext() {
    static AppContext context;
    return context;
}

pappl_system_t* createSystem(int count, cups_option_t* options, void*) {
    AppContext& context = appContext();
    // glibc gives a thread that finds the heap busy an arena of its own, and
    // each arena keeps what its threads freed: a job's thread and a client's
    // left three behind, 1.4 MB resident after 1 000 jobs. The server's
    // threads allocate little at a time; one heap serves them all (0.4-0.6
    // MB less).
    mallopt(M_ARENA_MAX, 1);
    context.spoolDirectory = option("spool-directory", count, options, "");
    if (context.spoolDirectory.empty())
        context.spoolDirectory = defaultDirectory();
    if (!makeDirectories(context.spoolDirectory)) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", kAppName, context.spoolDirectory.c_str(),
                     std::strerror(errno));
        return nullptr;
    }
    context.printers = std::make_unique<PrinterStates>(context.spoolDirectory);
    // Documents are parsed in the render workers; a server running as root
    // gives them an unprivileged user of their own.
    std::string problem;
    std::optional<WorkerAccount> account =
        workerAccount(option("worker-user", count, options, ""), problem);
    const std::optional<std::size_t> limit = workerLimit(count, options, problem);
    if (!problem.empty() || (account && !joinWorkerGroup(*account, problem))) {
        std::fprintf(stderr, "%s: %s\n", kAppName, problem.c_str());
        return nullptr;
    }
    context.workers = std::make_unique<RenderWorkers>(*limit, std::move(account), workerIdleTime());
    // Text jobs name their code page to the plug-in's host stand-in through
    // the environment. Set once here, the variable has its place before any
    // thread starts, so a later change only swaps its value and never moves
    // the environment under a thread reading it.
    setenv("ANSI_CODE_PAGE", std::to_string(kDefaultCodePage).c_str(), 1);
    // Labels are made in the render workers, which load the plug-in; the
    // server loads it only for raster pages PAPPL hands over as they arrive
    // (PAPPL 1.4 and later), and otherwise stays without it and the C++
    // runtime it brings. A missing module is still told at once.
    context.pluginPath = installedFile("LABEL_PLUGIN", "liblabelplug.so");
    if (access(context.pluginPath.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "%s: %s: cannot load the plug-in (%s)\n", kAppName,
                     context.pluginPath.c_str(), std::strerror(errno));
        return nullptr;
    }

    const int port = std::atoi(option("server-port", count, options, "0").c_str());
    const std::string listen = option("listen-hostname", count, options, "");
    // On loopback alone there is nobody to encrypt for; serving the network
    // offers IPPS as well.
    const auto tls = listen.empty() ? PAPPL_SOPTIONS_NO_TLS : PAPPL_SOPTIONS_NONE;
    // Serving the network means changing settings needs a login.
    std::string auth = option("auth-service", count, options, "");
    if (auth.empty() && !listen.empty())
        auth = "login";
    const std::string logFile =
        option("log-file", count, options, (context.spoolDirectory + "/server.log").c_str());
    pappl_system_t* system = papplSystemCreate(
        static_cast<pappl_soptions_t>(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                      PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY | tls),
        "Label Printer", port > 0 ? port : kDefaultPort, "_print,_universal",
        context.spoolDirectory.c_str(), logFile.c_str(),
        logLevel(option("log-level", count, options, "info")),
        auth.empty() ? nullptr : auth.c_str(), false);
    if (!system)
        return nullptr;
    if (const char* group = cupsGetOption("admin-group", count, options))
        papplSystemSetAdminGroup(system, group);
    context.printGroup = option("print-group", count, options, "");
    if (!papplSystemAddListeners(system, listen.empty() ? "localhost" : listen.c_str())) {
        papplSystemDelete(system);
        return nullptr;
    }
    static pappl_pr_driver_t drivers[] = {
        {kDriverName, "Label printer 203 dpi", nullptr, nullptr},
    };
    papplSystemSetPrinterDrivers(system, static_cast<int>(sizeof drivers / sizeof drivers[0]),
                                 drivers, nullptr, labelPrinterCreated, labelDriver, nullptr);
    addJobFilters(system);
    addPrinterLinkSchemes(system);
    papplSystemSetEventCallback(system, onEvent, nullptr);
    papplSystemSetMIMECallback(system, typeByContent, nullptr);
    papplSystemSetFooterHTML(system, "Label printer application");
    addSettingWords(system);
    papplSystemSetOperationCallback(system, answerActionOperation, nullptr);

    const std::string statePath = context.spoolDirectory + "/" + kAppName + ".state";
    context.loadingState = true;
    papplSystemLoadState(system, statePath.c_str());
    context.loadingState = false;
    setUpLoadedPrinters(system);
    context.stateSaving = std::make_unique<StateSaving>(system, statePath);
    papplSystemSetSaveCallback(system, saveState, context.stateSaving.get());
    context.jobCleaning = std::make_unique<JobCleaning>(system);
    context.systemWatch = std::make_unique<SystemWatch>(
        system, [&saving = *context.stateSaving] { saving.saveNow(); });
    return system;
}

// PAPPL's main loop lets go of the system with papplSystemDelete (through
// its procedure linkage table): the program's threads on it stop first, the
// state still to be saved saved.
extern "C" void papplSystemDelete(pappl_system_t* system) {
    using Delete = void (*)(pappl_system_t*);
    static const auto library = reinterpret_cast<Delete>(dlsym(RTLD_NEXT, "papplSystemDelete"));
    AppContext& context = appContext();
    context.systemWatch.reset();
    context.jobCleaning.reset();
    context.stateSaving.reset();
    library(system);
}
