// Where a device's spool stream goes as the plug-in writes it, for a job
// whose stream is not to be held in memory: a tool sends it on to a printer.
#pragma once

#include "platform/win_types.h"

#include <cstddef>

namespace standin {

class SpoolSink {
  public:
    // Takes the bytes of one write; false once the stream has failed.
    virtual bool write(const BYTE* bytes, std::size_t count) = 0;
    // A page has ended: what it wrote may go on to its destination now.
    virtual bool pageDone() = 0;

  protected:
    ~SpoolSink() = default;
};

} // namespace standin
