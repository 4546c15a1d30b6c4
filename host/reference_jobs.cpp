#include "host/reference_jobs.h"

#include <random>

namespace standin {
namespace {

// Pseudo-random dots from the standard generator, whose output is the same
// on every platform.
PageBitmap speckledPage(LONG width, LONG height, unsigned seed) {
    PageBitmap page{width, height, {}};
    page.bits.resize(page.stride() * static_cast<std::size_t>(height));
    std::mt19937 random(seed);
    for (BYTE& byte : page.bits)
        byte = static_cast<BYTE>(random() & random());
    return page;
}

// Paper as large as the page, in tenths of a millimetre at 203 dpi.
PaperSettings paperFor(const PageBitmap& page, SHORT orientation, SHORT dpi = 203) {
    const auto tenths = [dpi](LONG dots) {
        return static_cast<SHORT>((dots * 254 + dpi - 1) / dpi);
    };
    PaperSettings paper;
    paper.orientation = orientation;
    paper.printQuality = dpi;
    paper.yResolution = dpi;
    paper.paperLength = orientation == DMORIENT_PORTRAIT ? tenths(page.height) : tenths(page.width);
    paper.paperWidth = orientation == DMORIENT_PORTRAIT ? tenths(page.width) : tenths(page.height);
    return paper;
}

void storeCommand(WORD& on, WCHAR (&field)[kCommandTextUnits], std::u16string_view hex) {
    on = 1;
    std::copy(hex.begin(), hex.end(), field);
}

LabelJob pageJob(PageBitmap page, SHORT orientation, std::function<void(OemDevMode&)> edit = {}) {
    LabelJob job;
    job.paper = paperFor(page, orientation);
    job.pages.push_back(std::move(page));
    job.editSettings = std::move(edit);
    return job;
}

} // namespace

std::vector<NamedJob> referenceJobs() {
    std::vector<NamedJob> jobs;
    jobs.push_back({"portrait", pageJob(speckledPage(384, 800, 1), DMORIENT_PORTRAIT)});
    jobs.push_back({"landscape", pageJob(speckledPage(384, 800, 2), DMORIENT_LANDSCAPE)});
    jobs.push_back({"odd-size-portrait", pageJob(speckledPage(203, 77, 3), DMORIENT_PORTRAIT)});
    jobs.push_back({"odd-size-landscape", pageJob(speckledPage(203, 77, 4), DMORIENT_LANDSCAPE)});
    jobs.push_back(
        {"shift-right-up", pageJob(speckledPage(256, 96, 5), DMORIENT_PORTRAIT, [](OemDevMode& s) {
             s.shiftX = 3;
             s.shiftY = 5;
         })});
    jobs.push_back({"shift-left-down-landscape",
                    pageJob(speckledPage(256, 96, 6), DMORIENT_LANDSCAPE, [](OemDevMode& s) {
                        s.shiftX = -2;
                        s.shiftY = -7;
                    })});
    jobs.push_back({"shift-off-the-page", pageJob(speckledPage(64, 32, 7), DMORIENT_PORTRAIT,
                                                  [](OemDevMode& s) { s.shiftX = 100; })});
    const std::pair<SHORT, SHORT> densities[] = {{0, 0}, {1, 1}, {8, -1}, {-1, 3}};
    for (const auto& [density, direction] : densities) {
        jobs.push_back(
            {"density" + std::to_string(density) + "-direction" + std::to_string(direction),
             pageJob(speckledPage(64, 16, 8), DMORIENT_PORTRAIT,
                     [density = density, direction = direction](OemDevMode& s) {
                         s.density = density;
                         s.direction = direction;
                     })});
    }
    LabelJob commands = pageJob(speckledPage(96, 40, 9), DMORIENT_PORTRAIT, [](OemDevMode& s) {
        storeCommand(s.jobStartOn, s.jobStartCmd, u"1B40");
        storeCommand(s.pageStartOn, s.pageStartCmd, u"1b 40");
        storeCommand(s.pageEndOn, s.pageEndCmd, u"0C");
        storeCommand(s.jobEndOn, s.jobEndCmd, u"4a45g");
    });
    commands.pages.push_back(speckledPage(96, 24, 10));
    commands.documents = 2;
    jobs.push_back({"commands-two-documents", std::move(commands)});
    LabelJob switchedOff = pageJob(speckledPage(32, 8, 11), DMORIENT_PORTRAIT, [](OemDevMode& s) {
        storeCommand(s.jobStartOn, s.jobStartCmd, u"11");
        s.jobStartOn = 2; // only exactly 1 switches a command on
        storeCommand(s.jobEndOn, s.jobEndCmd, u"");
    });
    jobs.push_back({"commands-switched-off", std::move(switchedOff)});
    LabelJob blank =
        pageJob(PageBitmap{200, 300, std::vector<BYTE>(25 * 300, 0)}, DMORIENT_PORTRAIT);
    blank.bandHeight = 100;
    jobs.push_back({"blank-page", std::move(blank)});
    LabelJob narrowBands = pageJob(speckledPage(100, 50, 12), DMORIENT_LANDSCAPE);
    narrowBands.bandHeight = 1;
    jobs.push_back({"one-line-bands", std::move(narrowBands)});
    LabelJob wideDots = pageJob(speckledPage(40, 20, 13), DMORIENT_PORTRAIT);
    wideDots.imageCallbackId = 24; // 24 bits a dot in the stride
    jobs.push_back({"callback-24-stride", std::move(wideDots)});
    LabelJob highResolution = pageJob(speckledPage(1200, 300, 14), DMORIENT_PORTRAIT);
    highResolution.paper = paperFor(highResolution.pages[0], DMORIENT_PORTRAIT, 600);
    jobs.push_back({"600-dpi", std::move(highResolution)});
    // Unidrvs that leave the service table out: the same bytes through the
    // driver services.
    LabelJob throughServices =
        pageJob(speckledPage(72, 40, 15), DMORIENT_LANDSCAPE, [](OemDevMode& s) {
            storeCommand(s.jobStartOn, s.jobStartCmd, u"1B40");
            storeCommand(s.jobEndOn, s.jobEndCmd, u"0C");
        });
    throughServices.writePaths.serviceTable = WritePaths::ServiceTable::kAbsent;
    jobs.push_back({"driver-services-only", std::move(throughServices)});
    return jobs;
}

std::vector<NamedTextJob> referenceTextJobs() {
    std::vector<NamedTextJob> jobs;
    TextJob lines;
    lines.documents.push_back(
        {{}, layOutText({{u"Shipping label", u"", u"收货人：王小明", u"tab\there"}, {u"第二页"}})});
    jobs.push_back({"text-lines-two-pages", std::move(lines)});

    TextJob batches;
    TextPage page;
    TextCallSpec right{u"右边", {400, 10, 448, 34}, 400, {}, true, 0};
    TextCallSpec left{u"left", {8, 10, 104, 34}, 8, {}, true, 0};
    TextCallSpec enumerated{u"分批 sent", {8, 40, 224, 64}, 8, {2, 3, 2}, true, 0};
    page.calls = {right, left, enumerated};
    batches.documents.push_back({{}, {page}});
    jobs.push_back({"text-order-and-batches", std::move(batches)});

    TextJob modes;
    modes.documents.push_back({{11}, layOutText({{u"text mode by callback"}})});
    modes.documents.push_back({{10}, layOutText({{u"label mode again"}})});
    jobs.push_back({"text-then-label-mode", std::move(modes)});

    TextJob throughServices;
    throughServices.documents.push_back({{}, layOutText({{u"驱动服务", u"tab\tthere"}})});
    throughServices.writePaths.serviceTable = WritePaths::ServiceTable::kEmptyWriteEntry;
    jobs.push_back({"text-driver-services-only", std::move(throughServices)});
    return jobs;
}

} // namespace standin
