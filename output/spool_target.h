// Where a spool stream goes: standard output, a printer's device node or
// network port, a pipe, or a file replaced whole.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Where a spool stream goes. Failures are values: no member throws, and a
// reader that goes away is an error, never a signal that ends the process.
class SpoolTarget {
  public:
    virtual ~SpoolTarget(); // an uncommitted target is abandoned
    SpoolTarget(const SpoolTarget&) = delete;
    SpoolTarget& operator=(const SpoolTarget&) = delete;

    // Opens the place `target` names:
    //  - "" or "-": standard output, written with blocking writes and no
    //    timeout; its flags are never changed, for other processes share it.
    //  - "socket://HOST[:PORT]": a TCP connection to a printer's raw port
    //    (9100 when PORT is omitted); IPv6 literals in brackets, as
    //    "socket://[::1]:9100".
    //  - an existing path that is not a regular file once symbolic links are
    //    followed (a printer's device node, a serial port, a FIFO, a UNIX
    //    stream socket): written in place; nothing is created, truncated or
    //    replaced.
    //  - otherwise a regular file or a path that does not exist yet: the
    //    stream goes to a temporary file beside the file a chain of symbolic
    //    links finally names, renamed over it by commit(), so the file holds
    //    the whole stream or its old content, and the links stay. A replaced
    //    file keeps its permission bits; a new one gets 0666 less the umask.
    //    A missing path on the filesystem of /dev is a printer that is not
    //    there, and fails rather than become a file among the device nodes.
    // Targets opened here (not standard output) fail when no byte can be
    // written for `timeoutSeconds`, and so do connecting and waiting for a
    // FIFO's reader; zero or less waits without limit. Null, with `error`
    // set to one line, when the target cannot be opened.
    static std::unique_ptr<SpoolTarget> open(const std::string& target, int timeoutSeconds,
                                             std::string& error);

    // Appends bytes through a fixed buffer, so memory does not grow with the
    // stream. False once anything has failed.
    virtual bool write(const void* data, std::size_t size) = 0;
    // Hands everything buffered to the target; called at the end of each
    // page so a printer starts on the first label while later pages are
    // rendered. A replaced file's bytes go to its temporary file.
    virtual bool flush() = 0;
    // Completes: flushes, waits until a network printer has taken every
    // byte, closes, and renames a replaced file into place. False on
    // failure, in which case a replaced file keeps its old content.
    virtual bool commit() = 0;
    // Gives up: buffered bytes are dropped, a replaced file keeps its old
    // content and the temporary file is removed. Safe to call twice.
    virtual void abandon() = 0;
    // One line naming the target as the user spelt it and the first
    // failure, e.g. "out.fifo: the reader closed the pipe"; empty while all
    // is well.
    const std::string& error() const { return error_; }
    // True when bytes reach the target as they are flushed (not for a
    // replaced file).
    virtual bool streams() const = 0;

  protected:
    explicit SpoolTarget(std::string name);
    // Keeps the first failure only, since it explains the ones after it;
    // false, so that callers can return it.
    bool fail(const std::string& reason);
    bool failed() const { return !error_.empty(); }
    const std::string& name() const { return name_; }

  private:
    std::string name_;
    std::string error_;
};
