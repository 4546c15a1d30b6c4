// The printer's network connection (socket://HOST[:PORT]), as the program
// keeps it in place of PAPPL's own: PAPPL's socket writes have no time limit,
// so a printer that stops reading would hold its job, and the job's cancel,
// for ever. Here every write and read waits at most a while at a time: a
// printer that takes no data for 15 s is reported offline (and its job
// still waits for it, and can be canceled), a connection that drops fails
// the write, and the job's pages go again on a new connection. The status
// query is asked on the same connection.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// A printer with no connection, or one that takes no data, for this long is
// reported offline.
inline constexpr auto kStalledAfter = std::chrono::seconds(15);
// The status query waits this long for its answer.
inline constexpr auto kStatusAnswerWithin = std::chrono::seconds(1);

class PrinterConnection {
  public:
    explicit PrinterConnection(std::string host, int port) : host_(std::move(host)), port_(port) {}
    PrinterConnection(const PrinterConnection&) = delete;
    PrinterConnection& operator=(const PrinterConnection&) = delete;
    ~PrinterConnection() { close(); }

    // Connects, within a few seconds; false, with `error`, when the printer
    // cannot be reached.
    bool connect(std::string& error);
    void close();
    bool connected() const { return fd_ >= 0; }

    // Writes all of `bytes`; false when the connection failed (it is then
    // closed) or `abandon` said to stop waiting. `stalled` is told once
    // when the printer has taken nothing for kStalledAfter, and `resumed`
    // when it takes data again.
    bool write(const void* bytes, std::size_t count);
    // Reads what the printer sent, waiting up to `within`; -1 on failure.
    long read(void* bytes, std::size_t count, std::chrono::milliseconds within);

    // Asks the printer for its status on this connection; none when it does
    // not answer in time.
    std::optional<std::uint8_t> queryStatus();

    // Why the last write or connect failed.
    const std::string& error() const { return error_; }

    // Bytes written on this connection, and of those the ones the printer
    // has acknowledged (as its last state was known, once the connection
    // failed): what was written but not acknowledged may never have arrived.
    std::uint64_t written() const { return written_; }
    std::uint64_t acknowledged();

    // Set by the job using the connection.
    std::function<bool()> abandon;
    std::function<void()> stalled;
    std::function<void()> resumed;

  private:
    std::string host_;
    int port_;
    int fd_ = -1;
    std::string error_;
    std::uint64_t written_ = 0;
    std::uint64_t acknowledged_ = 0;
};

// Makes PAPPL open the system's socket:// printers through
// PrinterConnection.
void addSocketScheme(pappl_system_t* system);

// The connection of a device opened for a socket:// printer; null for any
// other device.
PrinterConnection* connectionOf(pappl_device_t* device);
