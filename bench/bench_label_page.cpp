// One whole label page through the plug-in: DrvStartPage, every band through
// captureBand, then DrvSendPage writing the label program into a sink. The
// time per page is compared with one memcpy of the captured page's bytes
// (stride × lines), measured in the same run between two warm buffers; the
// counter `ratio` is that comparison and `target` the bound it should meet.
#include "page/band_capture.h"
#include "page/page_hooks.h"
#include "page/page_transform.h"
#include "plugin/driver_lifecycle.h"
#include "plugin/hook_dispatch.h"
#include "settings/oem_devmode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "bench/run_clock.h"
#include "host/band_description.h"

namespace {

using Clock = RunClock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The spool: a buffer reserved once, emptied before every page.
struct Sink {
    std::vector<BYTE> buffer;
    std::size_t used = 0;
    bool overflow = false;
};
Sink sink;

DWORD STDCALL writeToSink(PDEVOBJ, PVOID bytes, DWORD count) {
    if (count > sink.buffer.size() - sink.used) {
        sink.overflow = true;
        return 0;
    }
    std::memcpy(sink.buffer.data() + sink.used, bytes, count);
    sink.used += count;
    return count;
}

struct Paper {
    SHORT widthTenthsMm;  // dmPaperWidth
    SHORT lengthTenthsMm; // dmPaperLength
    SHORT dpi;
    SHORT orientation; // DMORIENT_PORTRAIT or DMORIENT_LANDSCAPE
};

constexpr LONG kBandLines = 128;

// A device as Unidrv hands it to the plug-in, with the page Unidrv would
// render for it: lines run across the paper width in portrait and across its
// length in landscape, as pageCapacity expects.
class Device {
  public:
    explicit Device(const Paper& paper) {
        DRVENABLEDATA unidrv{}; // c = 0: every Unidrv hook absent
        ok_ = enablePdev(nullptr, &unidrv, &devOem_) == S_OK;
        publicDM_.dmSize = sizeof publicDM_;
        publicDM_.dmOrientation = paper.orientation;
        publicDM_.dmPaperWidth = paper.widthTenthsMm;
        publicDM_.dmPaperLength = paper.lengthTenthsMm;
        publicDM_.dmPrintQuality = paper.dpi;
        publicDM_.dmYResolution = paper.dpi;
        defaultDevMode(&publicDM_, &oemDM_);
        oemDM_.density = 0;
        oemDM_.direction = 0;
        oemDM_.shiftX = 0;
        oemDM_.shiftY = 0;
        procs_.DrvWriteSpoolBuf = writeToSink;
        device_.dwSize = sizeof device_;
        device_.pdevOEM = devOem_;
        device_.pPublicDM = &publicDM_;
        device_.pOEMDM = &oemDM_;
        device_.pDrvProcs = &procs_;
        surface_.dhpdev = &device_;

        const bool portrait = paper.orientation == DMORIENT_PORTRAIT;
        const LONG across = portrait ? paper.widthTenthsMm : paper.lengthTenthsMm;
        const LONG down = portrait ? paper.lengthTenthsMm : paper.widthTenthsMm;
        dots_ = across * paper.dpi / 254;
        lines_ = down * paper.dpi / 254;
        stride_ = (dots_ + 31) / 32 * 4;

        // Random-ish dots: mostly blank with runs of noise, nothing all blank.
        std::mt19937 rng(static_cast<unsigned>(dots_ * 31 + lines_));
        std::uniform_int_distribution<int> byte(0, 255);
        image_.resize(pageBytes());
        for (std::size_t i = 0; i < image_.size(); ++i)
            image_[i] = (i / 64) % 3 == 0 ? BYTE{0xFF} : static_cast<BYTE>(byte(rng));
    }
    ~Device() {
        if (ok_)
            disablePdev(&device_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool ok() const { return ok_; }
    std::size_t pageBytes() const {
        return static_cast<std::size_t>(stride_) * static_cast<std::size_t>(lines_);
    }
    const std::vector<BYTE>& image() const { return image_; }
    LONG stride() const { return stride_; }
    LONG lines() const { return lines_; }

    void startPage() { DrvStartPage(&surface_); }
    void captureAllBands() {
        standin::BandDescription band = standin::describeBand(dots_, 0, 1, false);
        for (LONG first = 0; first < lines_; first += kBandLines) {
            band.header.biHeight = std::min(kBandLines, lines_ - first);
            PBYTE result = nullptr;
            captureBand(&device_, image_.data() + static_cast<std::size_t>(first) * stride_,
                        &band.header, 1, &band.params, &result);
        }
    }
    void sendPage() { DrvSendPage(&surface_); }
    const OemPDEV& pdev() const { return *static_cast<const OemPDEV*>(devOem_); }

  private:
    bool ok_ = false;
    PVOID devOem_ = nullptr;
    DEVMODEW publicDM_{};
    OemDevMode oemDM_{};
    DRVPROCS procs_{};
    DEVOBJ device_{};
    SURFOBJ surface_{};
    LONG dots_ = 0, lines_ = 0, stride_ = 0;
    std::vector<BYTE> image_;
};

// Best time of one memcpy of `bytes` between two warm buffers, over at
// least 15 samples and 0.2 s; small copies are timed in batches.
double memcpySeconds(std::size_t bytes) {
    std::vector<BYTE> from(bytes, 0x5A), to(bytes, 0);
    std::memcpy(to.data(), from.data(), bytes);
    const std::size_t batch =
        std::max<std::size_t>(1, (std::size_t{1} << 22) / std::max<std::size_t>(bytes, 1));
    double best = 1e9, spent = 0;
    for (int samples = 0; samples < 15 || (spent < 0.2 && samples < 100000); ++samples) {
        const auto start = Clock::now();
        for (std::size_t copy = 0; copy < batch; ++copy) {
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::ClobberMemory();
        }
        const double sample = seconds(Clock::now() - start);
        best = std::min(best, sample / static_cast<double>(batch));
        spent += sample;
    }
    benchmark::DoNotOptimize(to.data());
    return best;
}

// The page went out in full: the label program carries every line.
bool checkOutput(const Device& device, const Paper& paper) {
    if (sink.overflow)
        return false;
    const std::size_t stride = static_cast<std::size_t>(device.stride());
    const std::size_t lines = static_cast<std::size_t>(device.lines());
    const BYTE* begin = sink.buffer.data();
    const BYTE* end = begin + sink.used;
    const char bitmap[] = "BITMAP 0,0,";
    const BYTE* payload = std::search(begin, end, bitmap, bitmap + sizeof bitmap - 1);
    if (payload == end)
        return false;
    payload += sizeof bitmap - 1;
    // Then "width,height,1," and the dots.
    for (int comma = 0; comma < 3; ++comma) {
        payload = std::find(payload, end, BYTE{','});
        if (payload == end)
            return false;
        ++payload;
    }
    if (static_cast<std::size_t>(end - payload) < stride * lines)
        return false;
    if (paper.orientation == DMORIENT_PORTRAIT)
        return std::memcmp(payload, device.image().data(), stride * lines) == 0;
    // Landscape: the page turned a quarter counter-clockwise, dot by dot.
    const std::size_t outWidth = static_cast<std::size_t>(rotatedWidthBytes(device.lines()));
    const std::size_t outLines = static_cast<std::size_t>(rotatedHeightDots(device.stride()));
    if (static_cast<std::size_t>(end - payload) < outWidth * outLines)
        return false;
    std::vector<BYTE> turned(outWidth * outLines, 0);
    for (std::size_t r = 0; r < lines; ++r)
        for (std::size_t b = 0; b < stride; ++b)
            for (int k = 0; k < 8; ++k)
                if (device.image()[r * stride + b] & (1 << k))
                    turned[(8 * (stride - 1 - b) + k) * outWidth + r / 8] |=
                        static_cast<BYTE>(0x80 >> (r % 8));
    return std::memcmp(payload, turned.data(), turned.size()) == 0;
}

void BM_LabelPage(benchmark::State& state, Paper paper) {
    Device device(paper);
    if (!device.ok()) {
        state.SkipWithError("enablePdev failed");
        return;
    }
    sink.buffer.assign(2 * device.pageBytes() + (1 << 16), 0);
    sink.used = 0;
    sink.overflow = false;

    // One page to warm up and to check what goes out.
    device.startPage();
    device.captureAllBands();
    device.sendPage();
    if (!checkOutput(device, paper)) {
        state.SkipWithError("the label program does not carry the page");
        return;
    }

    const double copy = memcpySeconds(device.pageBytes());
    // Best and mean per page: other work on the machine only ever adds time,
    // so the ratio is taken best page over best memcpy.
    double capture = 0, send = 0, best = 1e9;
    for (auto _ : state) {
        sink.used = 0;
        const auto start = Clock::now();
        device.startPage();
        device.captureAllBands();
        const auto captured = Clock::now();
        device.sendPage();
        benchmark::ClobberMemory();
        const auto sent = Clock::now();
        capture += seconds(captured - start);
        send += seconds(sent - captured);
        best = std::min(best, seconds(sent - start));
    }
    if (sink.overflow) {
        state.SkipWithError("the sink overflowed");
        return;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["page_ms"] = best * 1e3;
    state.counters["page_mean_ms"] = (capture + send) / n * 1e3;
    state.counters["capture_mean_ms"] = capture / n * 1e3;
    state.counters["send_mean_ms"] = send / n * 1e3;
    state.counters["memcpy_us"] = copy * 1e6;
    state.counters["ratio"] = best / copy;
    if (paper.orientation == DMORIENT_LANDSCAPE) {
        // The quarter turn's share: the best of a few turns of the captured
        // rows, outside the timed pages.
        device.startPage();
        device.captureAllBands();
        const OemPDEV& pdev = device.pdev();
        std::vector<BYTE> turned(static_cast<std::size_t>(rotatedWidthBytes(pdev.rowCount)) *
                                 static_cast<std::size_t>(rotatedHeightDots(pdev.rowBytes)));
        double turn = 1e9;
        for (int run = 0; run < 20; ++run) {
            const auto start = Clock::now();
            rotatePageImage(pdev.rows, pdev.rowBytes, pdev.rowCount, turned.data());
            benchmark::ClobberMemory();
            turn = std::min(turn, seconds(Clock::now() - start));
        }
        sink.used = 0;
        device.sendPage();
        state.counters["rotate_ms"] = turn * 1e3;
    }
    state.counters["target"] = paper.orientation == DMORIENT_PORTRAIT ? 4 : 8;
    state.counters["page_MB"] = static_cast<double>(device.pageBytes()) / 1e6;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(device.pageBytes()));
}

constexpr SHORT kLabelWidth = 1016, kLabelLength = 1524; // 4 × 6 in
constexpr SHORT kA4Width = 2100, kA4Length = 2970;       // 210 × 297 mm

BENCHMARK_CAPTURE(BM_LabelPage, label4x6_203dpi_portrait,
                  Paper{kLabelWidth, kLabelLength, 203, DMORIENT_PORTRAIT})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LabelPage, label4x6_203dpi_landscape,
                  Paper{kLabelWidth, kLabelLength, 203, DMORIENT_LANDSCAPE})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LabelPage, label4x6_300dpi_portrait,
                  Paper{kLabelWidth, kLabelLength, 300, DMORIENT_PORTRAIT})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LabelPage, label4x6_300dpi_landscape,
                  Paper{kLabelWidth, kLabelLength, 300, DMORIENT_LANDSCAPE})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LabelPage, a4_600dpi_portrait,
                  Paper{kA4Width, kA4Length, 600, DMORIENT_PORTRAIT})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LabelPage, a4_600dpi_landscape,
                  Paper{kA4Width, kA4Length, 600, DMORIENT_LANDSCAPE})
    ->Unit(benchmark::kMillisecond);

// One memcpy of each page's bytes on its own, for the record.
void BM_PageMemcpy(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    std::vector<BYTE> from(bytes, 0x5A), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PageMemcpy)
    ->Arg(104 * 1218) // 4 × 6 in at 203 dpi, portrait
    ->Arg(152 * 1800) // 4 × 6 in at 300 dpi, portrait
    ->Arg(620 * 7015) // A4 at 600 dpi, portrait
    ->Unit(benchmark::kMicrosecond);

} // namespace
