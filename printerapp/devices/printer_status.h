// What the printer says of itself: the one-byte answer to the immediate
// status query (ESC ! ?), and what the application makes of it: IPP's
// printer-state-reasons, PAPPL's reason bits, and words a person reads.
// Each printer's latest status is kept here for the web page and IPP.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The query, answered at once by the printer even in an error state.
inline constexpr std::uint8_t kStatusQuery[] = {0x1B, '!', '?'};

// The answer's bits.
enum StatusBit : std::uint8_t {
    kHeadOpen = 1u << 0,
    kPaperJam = 1u << 1,
    kOutOfPaper = 1u << 2,
    kOutOfRibbon = 1u << 3,
    kPaused = 1u << 4,
    kPrinting = 1u << 5,
    kCoverOpen = 1u << 6,
    kOtherError = 1u << 7,
};

// Whether the answer says the printer cannot print now (printing is not).
bool cannotPrint(std::uint8_t status);

// IPP printer-state-reasons keywords for the answer, with their severity
// suffixes ("media-empty-error", "paused"); empty when all is well.
std::vector<std::string> statusReasons(std::uint8_t status);
// PAPPL's reason bits for the same (it has none for "paused").
pappl_preason_t statusReasonBits(std::uint8_t status);
// The answer in words: "Out of labels; cover open".
std::string statusWords(std::uint8_t status);

// A printer as the application last found it.
struct PrinterStatus {
    std::optional<std::uint8_t> answer; // the last answer, none when it never answered
    bool offline = false;               // cannot be reached, or takes no data
    std::string message;                // why, in words; empty when all is well
    std::chrono::steady_clock::time_point asked{};
};

// Every printer's status, by printer ID.
class PrinterStatuses {
  public:
    PrinterStatus of(int printerId);
    void set(int printerId, const PrinterStatus& status);
    // Marks the printer reachable or not, with the words why; its reasons
    // follow (PAPPL's offline bit, set by the caller, who holds no lock of
    // PAPPL's).
    void setOffline(int printerId, bool offline, const std::string& message);

  private:
    std::mutex lock_;
    std::map<int, PrinterStatus> statuses_;
};

PrinterStatuses& printerStatuses();

// The IPP keywords and message a printer shows for its status.
std::vector<std::string> reasonsOf(const PrinterStatus& status);
std::string messageOf(const PrinterStatus& status);
