#include "printerapp/jobs/label_delivery.h"

#include "page/hex_command.h"
#include "printerapp/printers/printer_pages.h"
#include "printerapp/system/app_context.h"
#include "printerapp/system/label_driver.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

constexpr auto kAskEvery = std::chrono::seconds(1);
constexpr char kLabelStart[] = "CLS\r\nBITMAP";

// The reasons the status answer stands for, as PAPPL keeps them.
constexpr unsigned kStatusBits = PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_MEDIA_NEEDED |
                                 PAPPL_PREASON_MEDIA_JAM | PAPPL_PREASON_COVER_OPEN |
                                 PAPPL_PREASON_MARKER_SUPPLY_EMPTY | PAPPL_PREASON_OTHER;

// The printer's reasons and supplies from its answer.
void showStatus(pappl_printer_t* printer, std::uint8_t answer) {
    const unsigned add = statusReasonBits(answer);
    papplPrinterSetReasons(printer, static_cast<pappl_preason_t>(add),
                           static_cast<pappl_preason_t>(kStatusBits & ~add));
    pappl_supply_t supplies[2] = {};
    int count = 0;
    for (const auto& [name, bit] : {std::pair{"Labels", kOutOfPaper}, {"Ribbon", kOutOfRibbon}}) {
        // The ribbon only once the printer has spoken of one.
        if (bit == kOutOfRibbon && !(answer & kOutOfRibbon))
            continue;
        pappl_supply_t& supply = supplies[count++];
        supply.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
        std::strncpy(supply.description, name, sizeof supply.description - 1);
        supply.is_consumed = true;
        supply.level = (answer & bit) ? 0 : -1;
        supply.type = bit == kOutOfRibbon ? PAPPL_SUPPLY_TYPE_RIBBON_WAX : PAPPL_SUPPLY_TYPE_OTHER;
    }
    papplPrinterSetSupplies(printer, count, supplies);
}

void recordAnswer(int printerId, std::optional<std::uint8_t> answer) {
    PrinterStatus status = printerStatuses().of(printerId);
    status.answer = answer;
    status.asked = std::chrono::steady_clock::now();
    printerStatuses().set(printerId, status);
}

} // namespace

LabelDelivery::LabelDelivery(pappl_job_t* job, pappl_device_t* device,
                             const LabelSettings& settings, bool askStatus, JobProgress& progress)
    : job_(job), printer_(papplJobGetPrinter(job)), device_(device), connection_(linkOf(device)),
      askStatus_(askStatus), progress_(progress), skip_(progress.taken()) {
    // What a job's stream begins with before its first label: the media
    // setup, then the job-start commands.
    jobStart_ = standin::jobSetupCommands(settings.setup, kPrinterDpi);
    if (settings.block.jobStartOn == 1) {
        BYTE bytes[kHexCommandBytes] = {};
        const DWORD count = hexToBytes(settings.block.jobStartCmd, bytes);
        jobStart_.insert(jobStart_.end(), bytes, bytes + count);
    }
    if (connection_) {
        connection_->abandon = [this] { return canceled(); };
        connection_->stalled = [this] {
            const std::string why =
                "the printer has taken no data for " + std::to_string(kStalledAfter.count()) + " s";
            printerStatuses().setOffline(papplPrinterGetID(printer_), true,
                                         "The printer takes no data");
            papplPrinterSetReasons(printer_, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
            waiting(why);
        };
        connection_->resumed = [this] { printing(); };
        connection_->acknowledging = [this] { dropAcknowledged(); };
    }
}

LabelDelivery::~LabelDelivery() {
    // The link may outlive the job; what it tells is this job's.
    if (connection_) {
        connection_->abandon = nullptr;
        connection_->stalled = nullptr;
        connection_->resumed = nullptr;
        connection_->acknowledging = nullptr;
    }
}

bool LabelDelivery::canceled() {
    return papplJobIsCanceled(job_);
}

void LabelDelivery::waiting(const std::string& why) {
    waiting_ = true;
    papplJobSetReasons(job_, PAPPL_JREASON_PRINTER_STOPPED, PAPPL_JREASON_NONE);
    papplJobSetMessage(job_, "Waiting for the printer: %s.", why.c_str());
    papplLogJob(job_, PAPPL_LOGLEVEL_WARN, "Waiting for the printer: %s.", why.c_str());
}

void LabelDelivery::printing() {
    const int printerId = papplPrinterGetID(printer_);
    if (printerStatuses().of(printerId).offline) {
        printerStatuses().setOffline(printerId, false, "");
        papplPrinterSetReasons(printer_, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
    }
    if (!waiting_)
        return;
    waiting_ = false;
    papplJobSetReasons(job_, PAPPL_JREASON_NONE, PAPPL_JREASON_PRINTER_STOPPED);
    papplJobSetMessage(job_, "Printing.");
    papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "The printer is back; printing.");
}

bool LabelDelivery::pause() {
    for (int slice = 0; slice < 10; ++slice) {
        if (canceled())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return !canceled();
}

bool LabelDelivery::send(const std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty() &&
        papplDeviceWrite(device_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return false;
    papplDeviceFlush(device_);
    // PAPPL's flush says nothing of a failure; the connection does.
    return !connection_ || connection_->connected();
}

bool LabelDelivery::waitForPrinter() {
    const int printerId = papplPrinterGetID(printer_);
    const std::string why = connection_->error();
    printerStatuses().setOffline(printerId, true, "The printer cannot be reached: " + why);
    papplPrinterSetReasons(printer_, PAPPL_PREASON_OFFLINE, PAPPL_PREASON_NONE);
    waiting(why);
    for (;;) {
        if (!pause())
            return false;
        std::string error;
        if (connection_->connect(error))
            break;
    }
    printing();
    return true;
}

void LabelDelivery::noteStatus(std::optional<std::uint8_t> answer) {
    recordAnswer(papplPrinterGetID(printer_), answer);
    if (answer)
        showStatus(printer_, *answer);
}

bool LabelDelivery::askBetweenLabels() {
    if (!askStatus_ || !connection_ || std::chrono::steady_clock::now() - asked_ < kAskEvery)
        return true;
    std::optional<std::uint8_t> answer = connection_->queryStatus();
    asked_ = std::chrono::steady_clock::now();
    if (!answer) {
        // A printer that does not answer costs the job this one wait only.
        if (connection_->connected())
            askStatus_ = false;
        noteStatus(std::nullopt);
        return true;
    }
    noteStatus(answer);
    while (answer && cannotPrint(*answer)) {
        waiting(statusWords(*answer));
        if (!pause())
            return false;
        answer = connection_->queryStatus();
        if (!answer && !connection_->connected())
            return true; // the next write finds the connection gone, and waits
        if (answer)
            noteStatus(answer);
    }
    printing();
    return true;
}

bool LabelDelivery::sendKept(const std::vector<std::uint8_t>& bytes, bool first,
                             std::size_t index) {
    if (!send(bytes))
        return false;
    if (connection_) {
        unacknowledged_.push_back({bytes, connection_->written(), first, index});
        dropAcknowledged(); // a USB printer has taken it all by now
    }
    return true;
}

void LabelDelivery::dropAcknowledged() {
    const std::uint64_t acknowledged = connection_->acknowledged();
    while (!unacknowledged_.empty() && unacknowledged_.front().end <= acknowledged) {
        lastTaken_ = std::move(unacknowledged_.front());
        unacknowledged_.pop_front();
        progress_.record(lastTaken_->index + 1);
    }
}

bool LabelDelivery::sendAgain(std::vector<Sent> pages, bool takenFirst) {
    for (;;) {
        if (!waitForPrinter())
            return false;
        unacknowledged_.clear();
        lastTaken_.reset();
        if (takenFirst && askStatus_) {
            const std::optional<std::uint8_t> answer = connection_->queryStatus();
            if (answer && (*answer & kPrinting) && pages.size() > 1) {
                pages.erase(pages.begin());
                takenFirst = false;
            }
        }
        // Until the printer takes them again they are not its: a server
        // ended now goes on from the first of them.
        progress_.record(pages.front().index);
        // The new connection starts as a job does; the first page's own
        // bytes begin with the job-start commands already.
        bool sent = pages.front().first || jobStart_.empty() || send(jobStart_);
        for (const Sent& page : pages)
            sent = sent && sendKept(page.bytes, page.first, page.index);
        if (sent)
            return true;
        if (canceled())
            return false;
    }
}

bool LabelDelivery::sendWhatMayBeLost(std::optional<Sent> current) {
    // The last page the printer had acknowledged whole (it may have been
    // in the printer's buffer when the printer was reset), every page it
    // had not acknowledged when the connection failed, and the current one.
    dropAcknowledged();
    std::vector<Sent> again;
    const bool takenFirst = lastTaken_.has_value();
    if (lastTaken_)
        again.push_back(std::move(*lastTaken_));
    for (Sent& sent : unacknowledged_)
        again.push_back(std::move(sent));
    if (current)
        again.push_back(std::move(*current));
    if (again.empty())
        return waitForPrinter();
    return sendAgain(std::move(again), takenFirst);
}

bool LabelDelivery::page(const std::vector<std::uint8_t>& bytes) {
    if (pages_ < skip_) {
        // Delivered by an earlier run of the job.
        ++pages_;
        if (!bytes.empty())
            ++labels_;
        return !canceled();
    }
    const bool first = pages_ == 0;
    if (!first && !askBetweenLabels())
        return false;
    // Going on after an earlier run: the printer is told the job's start.
    if (pages_ == skip_ && skip_ > 0 && !jobStart_.empty() && !send(jobStart_) && !connection_) {
        failed_ = !canceled();
        return false;
    }
    if (connection_)
        dropAcknowledged();
    if (!sendKept(bytes, first, pages_)) {
        if (canceled() || !connection_) {
            failed_ = !canceled();
            return false;
        }
        if (!sendWhatMayBeLost(Sent{bytes, 0, first, pages_}))
            return false;
    }
    ++pages_;
    if (!bytes.empty())
        ++labels_;
    if (std::search(bytes.begin(), bytes.end(), kLabelStart,
                    kLabelStart + sizeof kLabelStart - 1) != bytes.end())
        lastLabel_ = bytes;
    return true;
}

bool LabelDelivery::tail(const std::vector<std::uint8_t>& bytes) {
    tail_ = bytes;
    if (bytes.empty() || send(bytes))
        return true;
    // A printer that answers is waited for in settle(), and given it again.
    if (!connection_)
        failed_ = !canceled();
    return false;
}

bool LabelDelivery::settle() {
    if (!connection_ || failed_)
        return !canceled();
    while (!connection_->drain()) {
        if (canceled() || !sendWhatMayBeLost(std::nullopt))
            return false;
        // A failed send shows in the next drain.
        if (!tail_.empty())
            send(tail_);
    }
    dropAcknowledged();
    return true;
}

bool askIdlePrinter(pappl_printer_t* printer) {
    const char* uri = papplPrinterGetDeviceURI(printer);
    if (!answersBack(uri) ||
        !appContext().printers->settings(papplPrinterGetID(printer)).statusQuery)
        return true;
    // Null as well while a job has the device; the job asks then.
    pappl_device_t* device = papplPrinterOpenDevice(printer);
    const int printerId = papplPrinterGetID(printer);
    if (!device)
        return true;
    std::optional<std::uint8_t> answer;
    if (PrinterLink* connection = linkOf(device))
        answer = connection->queryStatus();
    papplPrinterCloseDevice(printer);
    if (printerStatuses().of(printerId).offline) {
        printerStatuses().setOffline(printerId, false, "");
        papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_OFFLINE);
    }
    recordAnswer(printerId, answer);
    if (answer)
        showStatus(printer, *answer);
    return true;
}
