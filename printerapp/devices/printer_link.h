// The way to a printer that can answer: a network connection (socket://) or a
// USB printer's bulk endpoints (usb://), opened by the program in place of
// PAPPL's own devices, whose writes have no time limit and whose reads wait
// 10 s. Every write and read here waits a short while at a time: a printer
// that takes no data for 15 s is reported (its job still waits for it, and
// can be canceled), a printer that goes away fails the write, and the job's
// pages go again once it is back. The status query is asked on the same
// way. A file:// printer has no link: nothing is ever asked of it.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// A printer that takes no data for this long is reported offline.
inline constexpr auto kStalledAfter = std::chrono::seconds(15);
// The status query waits this long for its answer.
inline constexpr auto kStatusAnswerWithin = std::chrono::seconds(1);
// How often a waiting write looks whether to stop.
inline constexpr auto kLookEvery = std::chrono::milliseconds(100);

class PrinterLink {
  public:
    PrinterLink() = default;
    PrinterLink(const PrinterLink&) = delete;
    PrinterLink& operator=(const PrinterLink&) = delete;
    virtual ~PrinterLink() = default;

    // Opens the way to the printer, within a few seconds; false, with
    // `error`, when it cannot be reached (again).
    virtual bool connect(std::string& error) = 0;
    virtual void close() = 0;
    virtual bool connected() const = 0;

    // Writes all of `bytes`; false when the printer went away (the link is
    // then closed) or `abandon` said to stop waiting. `stalled` is told once
    // when the printer has taken nothing for kStalledAfter, `resumed` when
    // it takes data again.
    virtual bool write(const void* bytes, std::size_t count) = 0;
    // Reads what the printer sent, waiting up to `within`: the bytes read,
    // 0 when nothing came, -1 on failure.
    virtual long read(void* bytes, std::size_t count, std::chrono::milliseconds within) = 0;

    // Asks the printer for its status; none when it does not answer in
    // time, or cannot answer at all.
    std::optional<std::uint8_t> queryStatus();

    // Why the last write or connect failed.
    const std::string& error() const { return error_; }

    // Bytes written since the link was opened, and of those the ones the
    // printer has acknowledged (as last known, once the link failed): what
    // was written but not acknowledged may never have arrived.
    std::uint64_t written() const { return written_; }
    virtual std::uint64_t acknowledged() = 0;
    // Waits until the printer has acknowledged all that was written; false,
    // as a write, when the printer went away or `abandon` said to stop.
    virtual bool drain() = 0;

    // Set by the job using the link.
    std::function<bool()> abandon;
    std::function<void()> stalled;
    std::function<void()> resumed;
    // Told while a write waits whenever the printer has acknowledged more,
    // so that what it took is on record at once, not at the next label.
    std::function<void()> acknowledging;

  protected:
    // Drops what the printer sent before a question, so that it is not
    // taken for the answer.
    virtual void dropUnread() = 0;

    // The wait of a write that makes no progress: tells `stalled` once the
    // printer has taken nothing for kStalledAfter; false when the write is
    // to stop.
    class WriteWatch {
      public:
        explicit WriteWatch(PrinterLink& link) : link_(link) {}
        bool keepWaiting();
        void progressed();

      private:
        PrinterLink& link_;
        std::chrono::steady_clock::time_point lastProgress_ = std::chrono::steady_clock::now();
        bool toldStalled_ = false;
    };

    std::string error_;
    std::uint64_t written_ = 0;
};

// The link of a device the program opened; null for any other device (a
// file's).
PrinterLink* linkOf(pappl_device_t* device);

// Opens socket:// and usb:// printers through links of the program's.
void addPrinterLinkSchemes(pappl_system_t* system);

// The device URI a user gave for the scheme's URI of the program's.
std::string userUri(const char* uri);

// Whether the printer at the user's device URI `uri` is one the program
// opens through a link (network or USB), which can be asked and answer.
bool answersBack(const char* uri);

// A scheme of the program's: its `open` makes the device's link and hands it
// to openLink; closing, reading, writing and the device's status are every
// link's own.
void addLinkScheme(const char* scheme, pappl_devtype_t type, pappl_devopen_cb_t open,
                   pappl_devid_cb_t id);

// Connects `link` and makes it the device's; false, with the device's error
// told and the printer at `uri` (the user's) shown unreachable, when it
// cannot be reached.
bool openLink(pappl_device_t* device, const std::string& uri, std::unique_ptr<PrinterLink> link);
