// A raster page through the raster-to-plug-in path, as the printer
// application takes them: a PWG or Apple raster stream, read by libcups as
// PAPPL reads a client's document, each page header checked and the page's
// lines handed to the plug-in page by page. A page the driver accepts must
// come out as exactly one label program of its size; every job must end
// with the plug-in's memory given back.
#include "fuzz/harness.h"
#include "fuzz/raster_input.h"
#include "printerapp/rendering/label_pipeline.h"
#include "printerapp/rendering/raster_page.h"

#include <cups/raster.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Pages the driver would take but larger than this are left out: the
// application only ever sees label-sized pages, and a large one costs only
// its allocation. Sizes above the driver's limits still reach its checks.
constexpr std::uint64_t kMaxFuzzDots = std::uint64_t{1} << 16;

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset = 0;
};

ssize_t readInput(void* context, unsigned char* buffer, size_t bytes) {
    auto* input = static_cast<Input*>(context);
    const std::size_t count = std::min(bytes, input->size - input->offset);
    std::memcpy(buffer, input->data + input->offset, count);
    input->offset += count;
    return static_cast<ssize_t>(count);
}

// Counts what the plug-in writes and how many label programs begin.
class CountingSink final : public standin::SpoolSink {
  public:
    bool write(const BYTE* bytes, std::size_t count) override {
        seen_.insert(seen_.end(), bytes, bytes + count);
        return true;
    }
    bool pageDone() override {
        static constexpr char kStart[] = "CLS\r\nBITMAP";
        if (std::search(seen_.begin(), seen_.end(), kStart, kStart + sizeof kStart - 1) !=
            seen_.end())
            ++labels;
        seen_.clear();
        return true;
    }
    int labels = 0;

  private:
    std::vector<BYTE> seen_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PluginEngine engine;
    static const bool ready = (engine.use(linkedModule()), true);
    (void)ready;
    const std::int64_t before = fuzzing::freshModule();
    if (fuzzing::outlandish(data, size))
        return 0;
    Input input{data, size};
    cups_raster_t* raster = cupsRasterOpenIO(readInput, &input, CUPS_RASTER_READ);
    if (!raster)
        return 0;
    CountingSink sink;
    std::unique_ptr<LabelSession> session;
    cups_page_header2_t header;
    std::vector<unsigned char> line;
    int pages = 0;
    while (cupsRasterReadHeader2(raster, &header)) { // the first page only
        RasterPage page;
        std::string error;
        if (!RasterPage::problemWith(header).empty()) {
            fuzzing::require(!page.start(header, false, error));
            break;
        }
        if (std::uint64_t{header.cupsWidth} * header.cupsHeight > kMaxFuzzDots ||
            header.cupsBytesPerLine > kMaxFuzzDots)
            break;
        fuzzing::require(page.start(header, false, error));
        if (!session)
            session = std::make_unique<LabelSession>(
                engine, static_cast<std::int32_t>(header.cupsWidth),
                static_cast<std::int32_t>(header.cupsHeight), 203, defaultLabelSettings(), sink);
        line.resize(header.cupsBytesPerLine);
        unsigned y = 0;
        for (; y < header.cupsHeight; ++y) {
            if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) !=
                header.cupsBytesPerLine)
                break;
            page.addLine(y, line.data());
        }
        if (!page.complete())
            break;
        fuzzing::require(session->printPage(page.view(), error));
        ++pages;
        break;
    }
    cupsRasterClose(raster);
    if (session) {
        std::string error;
        session->finish(false, error);
        fuzzing::require(sink.labels == pages);
    }
    fuzzing::require(platform::host::liveAllocations() == before);
    return 0;
}
