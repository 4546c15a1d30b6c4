// A job's pages on their way to the printer, as its render worker sends
// them. Every page goes whole, flushed at its end. On a network or USB
// printer the printer is asked for its status between labels, at most once
// a second: a job waits while the printer reports an error. When the
// connection drops (or the USB printer is unplugged), the job waits until
// the printer is back, then sends the job-start commands again, the last
// label the printer had acknowledged whole (a printer reset loses what it
// buffered) and every label after it. A canceled job stops waiting. What
// the printer took whole is kept on disk (JobProgress) as the printer
// acknowledges it, so that a job the server left unfinished goes on after
// that label when it runs again.
#pragma once

#include "printerapp/devices/printer_link.h"
#include "printerapp/devices/printer_status.h"
#include "printerapp/jobs/job_progress.h"
#include "printerapp/printers/label_settings.h"
#include "printerapp/rendering/render_workers.h"

#include <pappl/pappl.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class LabelDelivery final : public PageReceiver {
  public:
    // `askStatus`: whether the printer is to be asked (a printer setting).
    // The labels `progress` says an earlier run had delivered are counted,
    // not sent again.
    LabelDelivery(pappl_job_t* job, pappl_device_t* device, const LabelSettings& settings,
                  bool askStatus, JobProgress& progress);
    ~LabelDelivery();
    LabelDelivery(const LabelDelivery&) = delete;
    LabelDelivery& operator=(const LabelDelivery&) = delete;

    bool page(const std::vector<std::uint8_t>& bytes) override;
    bool canceled() override;
    // What the job wrote after its last page: the job-end commands.
    bool tail(const std::vector<std::uint8_t>& bytes);
    // Waits until the printer has acknowledged all the job sent: what is
    // still on its way when a printer resets is lost, so the job is not
    // done before. After a drop the pages it may not have go again, and the
    // tail. False when canceled.
    bool settle();

    // Pages that reached the printer whole and printed something.
    std::size_t labels() const { return labels_; }
    // The printer took no more data and the job could not wait for it.
    bool failed() const { return failed_; }
    const std::vector<std::uint8_t>& lastLabel() const { return lastLabel_; }

  private:
    // A page sent on the connection, until the printer acknowledges it.
    struct Sent {
        std::vector<std::uint8_t> bytes;
        std::uint64_t end; // where it ends in the connection's bytes
        bool first;        // the job's first page, which starts with the job-start commands
        std::size_t index; // the page's place in the job, from 0
    };
    bool send(const std::vector<std::uint8_t>& bytes);
    // Sends the page, keeping it until the printer acknowledges it.
    bool sendKept(const std::vector<std::uint8_t>& bytes, bool first, std::size_t index);
    // After a drop: the printer back, the pages it may not have again.
    // `takenFirst`: the first of them is the last one the printer had
    // acknowledged whole, left out when the printer says it is still
    // printing (its buffer outlived the connection).
    bool sendAgain(std::vector<Sent> pages, bool takenFirst);
    // After a failed write: waits for the printer, then sends what it may
    // not have, and `current` (the page whose write failed) if any.
    bool sendWhatMayBeLost(std::optional<Sent> current);
    // Forgets the pages the printer has acknowledged, keeping the last one.
    void dropAcknowledged();
    // Waits for a printer that dropped the connection; false when canceled.
    bool waitForPrinter();
    // Asks the printer between labels and waits while it cannot print;
    // false when canceled.
    bool askBetweenLabels();
    void noteStatus(std::optional<std::uint8_t> answer);
    void waiting(const std::string& why);
    void printing();
    // Sleeps up to a second; false when the job was canceled.
    bool pause();

    pappl_job_t* job_;
    pappl_printer_t* printer_;
    pappl_device_t* device_;
    PrinterLink* connection_; // null for file devices
    std::vector<std::uint8_t> jobStart_;
    bool askStatus_;
    std::chrono::steady_clock::time_point asked_{};
    std::deque<Sent> unacknowledged_;
    // The last page the printer acknowledged whole: acknowledged is not
    // printed, and a printer reset or switched off loses what it buffered.
    std::optional<Sent> lastTaken_;
    JobProgress& progress_;
    std::size_t skip_; // pages an earlier run of the job delivered
    std::size_t pages_ = 0;
    std::size_t labels_ = 0;
    bool failed_ = false;
    bool waiting_ = false;
    std::vector<std::uint8_t> lastLabel_;
    std::vector<std::uint8_t> tail_;
};

// The printer's status, asked on a connection of its own while it is idle
// (PAPPL's status callback); nothing is asked of file printers.
bool askIdlePrinter(pappl_printer_t* printer);
