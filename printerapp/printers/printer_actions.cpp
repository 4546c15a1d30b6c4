#include "printerapp/printers/printer_actions.h"

#include "imaging/test_label.h"
#include "printerapp/devices/printer_link.h"
#include "printerapp/system/app_context.h"
#include "printerapp/system/label_driver.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// A printer that takes nothing for this long does not get the action.
constexpr auto kActionWithin = std::chrono::seconds(5);

// The picture as a one-page PWG raster file at the printer's resolution: the
// job prints it dot for dot, where a picture file would be fitted to the
// label's printable area.
bool writeRasterPage(const std::string& path, const cups_page_header2_t& header,
                     const BilevelImage& picture, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
    cups_page_header2_t page = header;
    bool written = raster && cupsRasterWriteHeader2(raster, &page);
    std::vector<unsigned char> line(header.cupsBytesPerLine, 0);
    for (int y = 0; written && y < picture.height; ++y) {
        std::copy_n(picture.bits.begin() + static_cast<std::ptrdiff_t>(y * picture.stride()),
                    std::min<std::size_t>(picture.stride(), line.size()), line.begin());
        written = cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine) ==
                  header.cupsBytesPerLine;
    }
    if (raster)
        cupsRasterClose(raster);
    written = close(fd) == 0 && written;
    if (!written)
        error = path + ": cannot be written";
    return written;
}

} // namespace

const char* printerTestLabel(pappl_printer_t* printer, char* buffer, std::size_t size) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const pappl_media_col_t& media = data.media_ready[0];
    const LabelSettings settings = appContext().printers->settings(papplPrinterGetID(printer));
    cups_page_header2_t header{};
    pwg_media_t* named = pwgMediaForSize(media.size_width, media.size_length);
    std::string error = "the loaded label's size is not one to draw";
    bool made = named && cupsRasterInitPWGHeader(&header, named, "black_1", kPrinterDpi,
                                                 kPrinterDpi, "one-sided", nullptr);
    // Rounded as labelprint sizes a label (CUPS rounds down): 50 x 30 mm is
    // 400 x 240 dots, not 399 x 239.
    header.cupsWidth = static_cast<unsigned>(std::lround(media.size_width * kPrinterDpi / 2540.0));
    header.cupsHeight =
        static_cast<unsigned>(std::lround(media.size_length * kPrinterDpi / 2540.0));
    header.cupsBytesPerLine = (header.cupsWidth + 7) / 8;
    TestLabelFacts facts;
    facts.dpi = kPrinterDpi;
    facts.widthDots = static_cast<int>(header.cupsWidth);
    facts.heightDots = static_cast<int>(header.cupsHeight);
    facts.lines = standin::testLabelLines(papplPrinterGetName(printer), media.size_width,
                                          media.size_length, settings.block.density, settings.setup,
                                          testLabelDate(std::time(nullptr)));
    const BilevelImage picture = made ? drawTestLabel(facts) : BilevelImage{};
    // A file of its own for each test page: an earlier one may still wait
    // in the queue.
    static std::atomic<unsigned> count{0};
    const std::string path = appContext().spoolDirectory + "/test-label-" +
                             std::to_string(papplPrinterGetID(printer)) + "-" +
                             std::to_string(++count) + ".pwg";
    made = made && picture.width > 0 && path.size() < size &&
           writeRasterPage(path, header, picture, error);
    if (!made) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "The test label cannot be made: %s",
                        error.c_str());
        return nullptr;
    }
    std::strncpy(buffer, path.c_str(), size);
    return buffer;
}

std::optional<standin::PrinterAction> printerActionNamed(const std::string& name) {
    if (name == "feed")
        return standin::PrinterAction::kFeed;
    if (name == "calibrate")
        return standin::PrinterAction::kCalibrate;
    if (name == "beep")
        return standin::PrinterAction::kBeep;
    return std::nullopt;
}

std::optional<std::string> runPrinterAction(pappl_printer_t* printer,
                                            standin::PrinterAction action) {
    if (!answersBack(papplPrinterGetDeviceURI(printer)))
        return std::string("Only a USB or network printer can do this; this printer's labels go "
                           "to a file");
    const standin::MediaSetup setup =
        appContext().printers->settings(papplPrinterGetID(printer)).setup;
    const std::vector<std::uint8_t> commands = standin::printerActionCommands(action, setup);
    if (commands.empty())
        return std::string("A continuous roll has no gaps or marks to measure");
    if (papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING)
        return std::string("The printer is printing; try again when it is idle");
    // Null while a job has the device: the job's labels are not cut into.
    pappl_device_t* device = papplPrinterOpenDevice(printer);
    if (!device)
        return std::string("The printer is busy or cannot be reached; try again in a moment");
    std::optional<std::string> problem;
    PrinterLink* link = linkOf(device);
    if (!link) {
        problem = "The printer cannot be reached";
    } else {
        const auto giveUp = std::chrono::steady_clock::now() + kActionWithin;
        link->abandon = [giveUp] { return std::chrono::steady_clock::now() > giveUp; };
        if (!link->write(commands.data(), commands.size()))
            problem =
                "The printer did not take the command (" +
                (link->error().empty() ? std::string("it took nothing for 5 s") : link->error()) +
                ")";
        link->abandon = nullptr;
    }
    papplPrinterCloseDevice(printer);
    return problem;
}

bool answerActionOperation(pappl_client_t* client, void*) {
    if (papplClientGetOperation(client) != kLabelActionOperation)
        return false;
    pappl_printer_t* printer = papplClientGetPrinter(client);
    if (!printer) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_FOUND, "No such printer");
        return true;
    }
    if (const http_status_t authorized = papplClientIsAuthorized(client);
        authorized != HTTP_STATUS_CONTINUE) {
        papplClientRespond(client, authorized, nullptr, nullptr, 0, 0);
        return true;
    }
    ipp_attribute_t* named =
        ippFindAttribute(papplClientGetRequest(client), "label-action", IPP_TAG_KEYWORD);
    const auto action = named ? printerActionNamed(ippGetString(named, 0, nullptr)) : std::nullopt;
    if (!action) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_BAD_REQUEST,
                              "label-action must be feed, calibrate or beep");
        return true;
    }
    if (const auto problem = runPrinterAction(printer, *action))
        papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "%s", problem->c_str());
    else
        papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
    return true;
}
