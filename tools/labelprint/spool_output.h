// The job's spool stream on its way to the target the user named, page by
// page, and kept whole as well when the labels are also to be drawn.
#pragma once

#include "host/spool_sink.h"
#include "output/spool_target.h"

#include <utility>
#include <vector>

class SpoolOutput final : public standin::SpoolSink {
  public:
    SpoolOutput(SpoolTarget& target, bool keepCopy) : target(target), keepCopy(keepCopy) {}

    bool write(const BYTE* bytes, std::size_t count) override {
        if (keepCopy)
            kept.insert(kept.end(), bytes, bytes + count);
        return target.write(bytes, count);
    }
    bool pageDone() override { return target.flush(); }

    // The whole stream, when it was to be kept; the output keeps none of it.
    std::vector<BYTE> takeCopy() { return std::move(kept); }

  private:
    SpoolTarget& target;
    bool keepCopy;
    std::vector<BYTE> kept;
};
