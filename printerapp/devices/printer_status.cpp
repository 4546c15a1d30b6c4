#include "printerapp/devices/printer_status.h"

namespace {

struct BitMeaning {
    std::uint8_t bit;
    const char* reason; // IPP keyword, with its suffix
    pappl_preason_t pappl;
    const char* words;
};

// Out of paper also means labels are needed; "paused" is a state, not a
// fault, and IPP gives it no suffix.
const BitMeaning kMeanings[] = {
    {kOutOfPaper, "media-empty-error", PAPPL_PREASON_MEDIA_EMPTY, "Out of labels"},
    {kOutOfPaper, "media-needed-error", PAPPL_PREASON_MEDIA_NEEDED, nullptr},
    {kPaperJam, "media-jam-error", PAPPL_PREASON_MEDIA_JAM, "Label jam"},
    {kHeadOpen, "cover-open-error", PAPPL_PREASON_COVER_OPEN, "Print head open"},
    {kCoverOpen, "cover-open-error", PAPPL_PREASON_COVER_OPEN, "Cover open"},
    {kOutOfRibbon, "marker-supply-empty-error", PAPPL_PREASON_MARKER_SUPPLY_EMPTY, "Out of ribbon"},
    {kPaused, "paused", PAPPL_PREASON_NONE, "Paused at the printer"},
    {kOtherError, "other-error", PAPPL_PREASON_OTHER, "Printer error"},
};

} // namespace

bool cannotPrint(std::uint8_t status) {
    return (status & ~kPrinting) != 0;
}

std::vector<std::string> statusReasons(std::uint8_t status) {
    std::vector<std::string> reasons;
    for (const BitMeaning& meaning : kMeanings) {
        if (!(status & meaning.bit))
            continue;
        bool seen = false;
        for (const std::string& reason : reasons)
            seen = seen || reason == meaning.reason;
        if (!seen)
            reasons.push_back(meaning.reason);
    }
    return reasons;
}

pappl_preason_t statusReasonBits(std::uint8_t status) {
    unsigned bits = PAPPL_PREASON_NONE;
    for (const BitMeaning& meaning : kMeanings) {
        if (status & meaning.bit)
            bits |= meaning.pappl;
    }
    return static_cast<pappl_preason_t>(bits);
}

std::string statusWords(std::uint8_t status) {
    std::string words;
    for (const BitMeaning& meaning : kMeanings) {
        if ((status & meaning.bit) && meaning.words)
            words += (words.empty() ? "" : "; ") + std::string(meaning.words);
    }
    return words;
}

PrinterStatus PrinterStatuses::of(int printerId) {
    const std::lock_guard<std::mutex> hold(lock_);
    return statuses_[printerId];
}

void PrinterStatuses::set(int printerId, const PrinterStatus& status) {
    const std::lock_guard<std::mutex> hold(lock_);
    statuses_[printerId] = status;
}

void PrinterStatuses::setOffline(int printerId, bool offline, const std::string& message) {
    const std::lock_guard<std::mutex> hold(lock_);
    PrinterStatus& status = statuses_[printerId];
    status.offline = offline;
    status.message = message;
}

PrinterStatuses& printerStatuses() {
    static PrinterStatuses statuses;
    return statuses;
}

std::vector<std::string> reasonsOf(const PrinterStatus& status) {
    std::vector<std::string> reasons;
    if (status.offline)
        reasons.push_back("offline-report");
    if (status.answer) {
        for (const std::string& reason : statusReasons(*status.answer))
            reasons.push_back(reason);
    }
    return reasons;
}

std::string messageOf(const PrinterStatus& status) {
    if (!status.message.empty())
        return status.message;
    if (status.answer && cannotPrint(*status.answer))
        return statusWords(*status.answer);
    return {};
}
