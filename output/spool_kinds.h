// The kinds of spool target behind SpoolTarget::open, shared by the files
// of output/ alone.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "output/spool_target.h"

// Who is on the other end of a descriptor: it decides how bytes are written,
// whether a stalled reader times out, and how failures read.
enum class Peer {
    file,           // the temporary file of a replaced file
    standardOutput, // shared with other processes: blocking, no timeout
    pipe,           // a FIFO
    device,         // a printer's USB or serial port, or another character device
    localSocket,    // a UNIX stream socket
    printerSocket,  // a TCP connection to a printer's raw port
};

using SpoolClock = std::chrono::steady_clock;

// Passed where an errno value goes when the peer took nothing for the
// timeout; the system's own ETIMEDOUT (a dead TCP connection) stays apart.
inline constexpr int kStalled = -1;

// How long a wait may last: until `timeoutSeconds` after `start`, or without
// end when the timeout is zero or less.
class WaitLimit {
  public:
    WaitLimit(int timeoutSeconds, SpoolClock::time_point start);
    // Milliseconds left, for poll(): -1 without a limit, 0 once passed.
    int remainingMilliseconds() const;
    bool passed() const { return remainingMilliseconds() == 0; }

  private:
    bool limited_;
    SpoolClock::time_point deadline_;
};

// "1 second", "30 seconds", for messages.
std::string secondsText(int seconds);

// A spool target that owns a descriptor and a fixed buffer in front of it,
// and writes through EINTR, short writes and full buffers.
class BufferedTarget : public SpoolTarget {
  public:
    ~BufferedTarget() override;
    bool write(const void* data, std::size_t size) override;
    bool flush() override;
    // Once only: flush, settle(), close, complete(); a second call answers
    // as the first did.
    bool commit() final;
    // Once only, and not after commit(): drops what is buffered, closes, and
    // discard()s. Each kind's destructor calls it, while it is still that kind.
    void abandon() final;

    // Allocated with the target, so that its absence is an open() failure.
    bool hasBuffer() const { return buffer_ != nullptr; }

  protected:
    // Takes `descriptor`; `closes` is false for standard output.
    BufferedTarget(std::string name, int descriptor, bool closes, Peer peer, int timeoutSeconds);

    // What a kind does at commit() after the last flush, before closing; false
    // after a fail().
    virtual bool settle() { return true; }
    // What a kind does at commit() once the descriptor is closed, told
    // whether all went well so far; the commit's answer.
    virtual bool complete(bool ok) { return ok; }
    // What a kind undoes at abandon() once the descriptor is closed.
    virtual void discard() {}

    // Fails with the message that fits the peer for errno value `error`, or
    // for kStalled.
    bool failWith(int error);

    int descriptor_;
    const Peer peer_;
    const int timeoutSeconds_;

  private:
    bool writeOut(const unsigned char* data, std::size_t size);
    // Closes the descriptor once; false with errno set when close() reports
    // a failed write.
    bool closeDescriptor();

    bool finished_ = false;  // committed or abandoned
    bool committed_ = false; // and all went well
    bool closes_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t used_ = 0;
};

std::unique_ptr<SpoolTarget> openStandardOutput(std::string& error);
// An existing FIFO, device node or UNIX socket, `mode` being its st_mode.
std::unique_ptr<SpoolTarget> openPathStream(const std::string& target, unsigned mode,
                                            int timeoutSeconds, std::string& error);
std::unique_ptr<SpoolTarget> openPrinterSocket(const std::string& target, int timeoutSeconds,
                                               std::string& error);
// A regular file, or a path that does not exist yet.
std::unique_ptr<SpoolTarget> openReplacedFile(const std::string& target, std::string& error);
