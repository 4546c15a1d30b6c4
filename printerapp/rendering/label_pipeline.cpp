#include "printerapp/rendering/label_pipeline.h"

#include "host/paper_size.h"
#include "host/print_job.h"
#include "host/text/text_document.h"
#include "settings/command_callback.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The printer's stored block stands in for the one the user edited: every
// field the plug-in reads, as a Windows installation would hand it over.
std::function<void(OemDevMode&)> storedSettings(const LabelSettings& settings) {
    return [block = settings.block](OemDevMode& edited) { edited = block; };
}

// A label job as labelprint sets one up: the paper sized for the largest
// page, the printer's stored settings, label mode chosen at the start.
bool labelJobFor(std::int32_t paperWidth, std::int32_t paperHeight, int dpi,
                 const LabelSettings& settings, standin::SpoolSink& sink, standin::LabelJob& job,
                 std::string& error) {
    const auto across = standin::tenthsOfMillimetre(paperWidth, dpi);
    const auto down = standin::tenthsOfMillimetre(paperHeight, dpi);
    if (!across || !down) {
        error = "the page is too large for a label at " + std::to_string(dpi) + " dpi";
        return false;
    }
    job.paper.printQuality = static_cast<SHORT>(dpi);
    job.paper.yResolution = static_cast<SHORT>(dpi);
    job.paper.paperWidth = *across;
    job.paper.paperLength = *down;
    job.sink = &sink;
    job.keepUnidrvCalls = false; // a long job's memory stays flat
    job.editSettings = storedSettings(settings);
    job.jobSetup = standin::jobSetupCommands(settings.setup, dpi);
    // The configuration chooses label mode at each document's start: a text
    // job before this one may have left the module in text mode.
    job.documentCallbacks = {kCallbackLabelMode};
    return true;
}

} // namespace

bool PluginEngine::load(const std::string& path, std::string& error) {
    return standin::loadPluginModule(path, module_, error);
}

bool PluginEngine::loadOnce(const std::string& path, std::string& error) {
    const std::lock_guard<std::recursive_mutex> hold(lock_);
    return module_.DllGetClassObject || load(path, error);
}

PluginEngine::~PluginEngine() {
    if (owned_)
        standin::unloadPluginModule(module_);
}

bool PluginEngine::printLabels(standin::PageSource& pages, std::int32_t paperWidth,
                               std::int32_t paperHeight, int dpi, const LabelSettings& settings,
                               standin::SpoolSink& sink, std::string& error) {
    standin::LabelJob job;
    if (!labelJobFor(paperWidth, paperHeight, dpi, settings, sink, job, error))
        return false;
    job.source = &pages;
    const std::lock_guard<std::recursive_mutex> hold(lock_);
    const standin::JobOutcome outcome = standin::printLabelJob(module_, job);
    if (!outcome.ok)
        error = outcome.error;
    return outcome.ok;
}

bool PluginEngine::printText(std::string_view utf8, int dpi, const LabelSettings& settings,
                             int copies, standin::SpoolSink& sink, std::string& error) {
    standin::TextJob job;
    if (!textJobOf(utf8, dpi, false, job)) {
        error = "the text is not UTF-8";
        return false;
    }
    job.keepUnidrvCalls = false;
    const std::vector<standin::TextDocument> document = job.documents;
    for (int copy = 1; copy < copies; ++copy)
        job.documents.insert(job.documents.end(), document.begin(), document.end());
    job.sink = &sink;
    job.editSettings = storedSettings(settings);
    job.jobSetup = standin::jobSetupCommands(settings.setup, dpi);
    const std::lock_guard<std::recursive_mutex> hold(lock_);
    // The host plug-in's stand-in for the system's ANSI code page.
    setenv("ANSI_CODE_PAGE", std::to_string(settings.codePage).c_str(), 1);
    const standin::JobOutcome outcome = standin::printTextJob(module_, job);
    if (!outcome.ok)
        error = outcome.error;
    return outcome.ok;
}

LabelSession::LabelSession(PluginEngine& engine, std::int32_t paperWidth, std::int32_t paperHeight,
                           int dpi, const LabelSettings& settings, standin::SpoolSink& sink)
    : hold_(engine.lock_) {
    std::string error;
    if (labelJobFor(paperWidth, paperHeight, dpi, settings, sink, job_, error))
        run_ = std::make_unique<standin::LabelJobRun>(engine.module_, job_);
}

LabelSession::~LabelSession() {
    std::string error;
    finish(true, error);
}

bool LabelSession::printPage(const standin::PageView& page, std::string& error) {
    if (!run_) {
        error = "the page is too large for a label";
        return false;
    }
    return run_->printPage(page);
}

bool LabelSession::finish(bool abort, std::string& error) {
    if (finished_ || !run_)
        return false;
    finished_ = true;
    const standin::JobOutcome outcome = run_->finish(abort);
    if (!outcome.ok)
        error = outcome.error;
    return outcome.ok && !abort;
}

bool DeviceSink::write(const BYTE* bytes, std::size_t count) {
    if (failed_)
        return false;
    if (!writer_(device_, bytes, count)) {
        failed_ = true;
        return false;
    }
    written_ += count;
    page_.insert(page_.end(), bytes, bytes + count);
    return true;
}

bool DeviceSink::pageDone() {
    if (failed_)
        return false;
    flusher_(device_);
    static constexpr char kLabelStart[] = "CLS\r\nBITMAP";
    const auto found =
        std::search(page_.begin(), page_.end(), kLabelStart, kLabelStart + sizeof kLabelStart - 1);
    if (found != page_.end())
        lastLabel_.swap(page_);
    page_.clear();
    return true;
}
