// labelprint: prints pictures and PDF labels as one label job, or a text file
// as one text-mode job, through the plug-in, the way Unidrv would drive it,
// and sends the spool stream to a file, a printer or standard output.
#include "decoder/label_decoder.h"
#include "host/installed_files.h"
#include "host/page_memory.h"
#include "host/page_selection.h"
#include "host/paper_size.h"
#include "host/print_job.h"
#include "host/setup/job_setup.h"
#include "host/text/text_job.h"
#include "imaging/test_label.h"
#include "output/spool_target.h"
#include "project_version.h"
#include "tools/labelprint/options.h"
#include "tools/labelprint/page_files.h"
#include "tools/labelprint/spool_output.h"
#include "tools/labelprint/text_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The plug-in module: --plugin, else $LABEL_PLUGIN, else the one built
// beside this program.
std::string pluginPath(const Options& options) {
    if (!options.plugin.empty())
        return options.plugin;
    return installedFile("LABEL_PLUGIN", "liblabelplug.so");
}

void storeCommand(const CommandText& command, WORD& on, WCHAR (&field)[kCommandTextUnits]) {
    if (!command.on)
        return;
    on = 1;
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy(command.text.begin(), command.text.end(), field);
}

// The paper the job is printed on, in tenths of a millimetre: the label's,
// or else the largest page's, rounded up. Nullopt beyond 16 bits.
std::optional<std::pair<SHORT, SHORT>> paperSize(const Options& options, const PageFiles& files) {
    if (options.label)
        return std::pair{static_cast<SHORT>(paperTenths(options.label->widthMm)),
                         static_cast<SHORT>(paperTenths(options.label->lengthMm))};
    const auto across = standin::tenthsOfMillimetre(files.widest(), options.dpi);
    const auto down = standin::tenthsOfMillimetre(files.tallest(), options.dpi);
    if (!across || !down)
        return std::nullopt;
    return std::pair{*across, *down};
}

// Opens every page file and sizes the paper: one paper size serves the job.
std::optional<Failure> readPages(const Options& options, PageFiles& files, standin::LabelJob& job) {
    std::string error;
    if (options.label) {
        const auto dots = labelDots(*options.label, options.dpi, error);
        if (!dots)
            return Failure{kExitUsage, "labelprint: --label " + error};
        files.fitTo(dots->width, dots->height);
    }
    if (!files.open(options.pages, options.dpi, options.dither, error))
        return Failure{kExitFailure, error};
    for (const std::string& note : files.notes())
        std::fprintf(stderr, "%s\n", note.c_str());
    const auto paper = paperSize(options, files);
    if (!paper)
        return Failure{kExitFailure, options.pages.front() + ": too large for a label at " +
                                         std::to_string(options.dpi) + " dpi"};
    const auto [across, down] = *paper;
    job.source = &files;
    job.paper.orientation = options.landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    job.paper.paperWidth = options.landscape ? down : across;
    job.paper.paperLength = options.landscape ? across : down;
    job.paper.printQuality = static_cast<SHORT>(options.dpi);
    job.paper.yResolution = static_cast<SHORT>(options.dpi);
    return std::nullopt;
}

// The test label at the label's size (--label, else 4 x 6 in): what it is
// printed with, in words, inside an outline and rulers.
std::optional<Failure> testLabelPage(const Options& options, standin::LabelJob& job) {
    const LabelSize size = options.label.value_or(LabelSize{101.6, 152.4});
    std::string error;
    const auto dots = labelDots(size, options.dpi, error);
    if (!dots)
        return Failure{kExitUsage, "labelprint: --label " + error};
    TestLabelFacts facts;
    facts.widthDots = dots->width;
    facts.heightDots = dots->height;
    facts.dpi = options.dpi;
    const std::string name =
        options.output.empty() || options.output == "-" ? "Test label" : options.output;
    facts.lines =
        standin::testLabelLines(name, static_cast<int>(std::lround(size.widthMm * 100)),
                                static_cast<int>(std::lround(size.lengthMm * 100)), options.density,
                                options.setup, testLabelDate(std::time(nullptr)));
    BilevelImage picture = drawTestLabel(facts);
    if (picture.width == 0)
        return Failure{kExitFailure, "labelprint: the test label cannot be drawn at " +
                                         std::to_string(options.dpi) + " dpi"};
    job.pages.push_back({picture.width, picture.height, std::move(picture.bits)});
    job.paper.paperWidth = static_cast<SHORT>(paperTenths(size.widthMm));
    job.paper.paperLength = static_cast<SHORT>(paperTenths(size.lengthMm));
    job.paper.printQuality = static_cast<SHORT>(options.dpi);
    job.paper.yResolution = static_cast<SHORT>(options.dpi);
    return std::nullopt;
}

std::optional<Failure> writePreview(const std::string& path, const std::vector<BYTE>& spool) {
    const LabelStream stream = decodeLabelStream(spool.data(), spool.size());
    if (!stream.error.empty())
        return Failure{kExitFailure,
                       "labelprint: the spool stream does not decode: " + stream.error};
    std::string error;
    if (!writeLabelPictures(stream, path, error))
        return Failure{kExitFailure, error};
    return std::nullopt;
}

// The user's settings in the private block of the job.
void applySettings(const Options& options, OemDevMode& settings) {
    settings.density = options.density;
    settings.direction = options.direction;
    settings.shiftX = options.shiftX;
    settings.shiftY = options.shiftY;
    storeCommand(options.jobStart, settings.jobStartOn, settings.jobStartCmd);
    storeCommand(options.pageStart, settings.pageStartOn, settings.pageStartCmd);
    storeCommand(options.pageEnd, settings.pageEndOn, settings.pageEndCmd);
    storeCommand(options.jobEnd, settings.jobEndOn, settings.jobEndCmd);
}

// Prints the job into the target, which is committed only when the whole
// job went through; a failed job leaves a file target as it was.
std::optional<Failure> print(const Options& options, const standin::PluginModule& module,
                             const PageFiles& files, standin::LabelJob& labelJob,
                             standin::TextJob& textJob, std::vector<BYTE>& copy) {
    std::string error;
    std::unique_ptr<SpoolTarget> target =
        SpoolTarget::open(options.output, options.timeoutSeconds, error);
    if (!target)
        return Failure{kExitFailure, error};
    SpoolOutput output(*target, !options.preview.empty());
    labelJob.sink = &output;
    textJob.sink = &output;
    const standin::JobOutcome outcome = options.text.empty()
                                            ? standin::printLabelJob(module, labelJob)
                                            : standin::printTextJob(module, textJob);
    if (!outcome.ok || !target->commit()) {
        target->abandon();
        // The target's or the page's own words name what failed; the
        // plug-in's need saying who speaks.
        if (!target->error().empty())
            return Failure{kExitFailure, target->error()};
        if (!files.failure().empty())
            return Failure{kExitFailure, files.failure()};
        return Failure{kExitFailure, "labelprint: " + outcome.error};
    }
    copy = output.takeCopy();
    return std::nullopt;
}

// A printer action: its commands straight to the printer, no job. A file is
// no printer: the bytes would only sit there.
std::optional<Failure> sendAction(const Options& options) {
    const std::vector<std::uint8_t> commands =
        standin::printerActionCommands(*options.action, options.setup);
    if (commands.empty())
        return Failure{kExitUsage, "labelprint: a continuous roll has no gaps or marks to measure"};
    struct stat info {};
    if (options.output.empty() || options.output == "-" ||
        (stat(options.output.c_str(), &info) == 0 && S_ISREG(info.st_mode)))
        return Failure{kExitUsage, "labelprint: --action goes to a printer: give -o with its "
                                   "device or socket://HOST"};
    std::string error;
    std::unique_ptr<SpoolTarget> target =
        SpoolTarget::open(options.output, options.timeoutSeconds, error);
    if (!target)
        return Failure{kExitFailure, error};
    if (!target->write(commands.data(), commands.size()) || !target->commit()) {
        target->abandon();
        return Failure{kExitFailure, target->error()};
    }
    return std::nullopt;
}

std::optional<Failure> run(const Options& options) {
    if (options.action)
        return sendAction(options);
    standin::LabelJob job;
    standin::TextJob textJob;
    PageFiles files;
    if (auto failure = options.testLabel      ? testLabelPage(options, job)
                       : options.text.empty() ? readPages(options, files, job)
                                              : readTextJob(options, textJob))
        return failure;
    // Each copy of each selected page is a page of the job, as the user
    // would have named the files again.
    standin::SelectedPages selected(files, options.selection);
    if (options.text.empty() && !options.testLabel) {
        if (selected.count() == 0)
            return Failure{kExitFailure,
                           "labelprint: --pages " + options.pageRanges + " selects no page"};
        job.source = &selected;
    }
    job.bandHeight = options.bandHeight;
    // The stream goes to its target as it is written; a list of every call
    // would only grow with the job.
    job.keepUnidrvCalls = textJob.keepUnidrvCalls = false;
    job.editSettings = [&options](OemDevMode& settings) { applySettings(options, settings); };
    textJob.editSettings = job.editSettings;
    job.jobSetup = textJob.jobSetup = standin::jobSetupCommands(options.setup, options.dpi);
    // The host plug-in's stand-in for the system's ANSI code page.
    setenv("ANSI_CODE_PAGE", std::to_string(options.codePage).c_str(), 1);
    standin::PluginModule module;
    std::string error;
    if (!standin::loadPluginModule(pluginPath(options), module, error))
        return Failure{kExitFailure, error};
    std::vector<BYTE> stream;
    std::optional<Failure> failure = print(options, module, files, job, textJob, stream);
    standin::unloadPluginModule(module);
    if (!failure && !options.preview.empty())
        failure = writePreview(options.preview, stream);
    return failure;
}

// A spool stream is bytes for a printer; on a terminal it would only garble
// the screen.
bool writesToTerminal(const Options& options) {
    return (options.output.empty() || options.output == "-") && isatty(STDOUT_FILENO) == 1;
}

} // namespace

int main(int argc, char** argv) {
    keepPageMemory();
    Options options;
    std::optional<Failure> failure = parseArguments(argc, argv, options);
    if (!failure && options.version)
        return std::printf("labelprint %s\n", kProjectVersion) > 0 && std::fflush(stdout) == 0
                   ? 0
                   : kExitFailure;
    if (!failure && !options.action && writesToTerminal(options)) {
        std::fputs("labelprint: not writing a spool stream to a terminal: give -o TARGET or "
                   "redirect\n",
                   stderr);
        return kExitUsage;
    }
    if (!failure) {
        try {
            failure = run(options);
        } catch (const std::bad_alloc&) {
            failure = Failure{kExitFailure, "labelprint: out of memory"};
        }
    }
    if (!failure)
        return 0;
    if (!failure->message.empty())
        std::fprintf(stderr, "%s\n", failure->message.c_str());
    if (failure->status == kExitUsage)
        std::fputs(kUsage, stderr);
    return failure->status;
}
