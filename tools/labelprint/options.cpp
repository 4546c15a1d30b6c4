#include "tools/labelprint/options.h"

#include "host/setup/command_text.h"
#include "host/text/text_document.h"
#include "settings/oem_devmode.h"

#include <charconv>
#include <climits>
#include <string_view>
#include <utility>

const char kUsage[] =
    "usage: labelprint [-o TARGET] [--timeout SECONDS] [--dpi N] [--landscape] [--density N]\n"
    "                  [--direction N] [--shift-x N] [--shift-y N] [--job-start CMD]\n"
    "                  [--page-start CMD] [--page-end CMD] [--job-end CMD] [--band-height N]\n"
    "                  [--speed N] [--media gap[:MM]|mark[:MM]|continuous]\n"
    "                  [--label-mode MODE] [--label-offset MM] [--top-offset MM]\n"
    "                  [--dither] [--label WxL(in|mm)] [--copies N] [--pages RANGES]\n"
    "                  [--preview FILE.png] [--plugin MODULE] PAGE...\n"
    "       labelprint [-o TARGET] [--timeout SECONDS] [--code-page N] [--dpi N]\n"
    "                  [--job-start CMD] [--page-start CMD] [--page-end CMD] [--job-end CMD]\n"
    "                  [--plugin MODULE] --text FILE\n"
    "       labelprint [-o TARGET] [--label WxL(in|mm)] [setup and settings] --test-label\n"
    "       labelprint -o PRINTER [--media ...] --action feed|calibrate|beep\n"
    "       labelprint --version\n"
    "PAGE: a PBM, PNG or PDF file. TARGET: a file, a printer's device (/dev/usb/lp0),\n"
    "a pipe, socket://HOST[:PORT] (a network printer's raw port, 9100 by default),\n"
    "or - for standard output (the default). RANGES: pages of all PAGEs together,\n"
    "counted from 1, such as 2 or 1-3,5; each of N copies prints them all in turn.\n"
    "--density N: 0 (light) to 15 (dark). CMD: hexadecimal bytes (1B40), or the\n"
    "commands' text (CR LF sent after each line; in double quotes when it could\n"
    "read as hexadecimal). MODE: tear-off, peel-off, cutter or cutter-delayed.\n"
    "MM: millimetres (2.5). The media setup is sent before the job; unset, the\n"
    "printer keeps its own. --action sends the printer FORMFEED, GAPDETECT or\n"
    "BLINEDETECT as --media says (AUTODETECT without), or SOUND 5,200; no job.\n";

namespace {

std::optional<long> parseInteger(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// gap, gap:3mm, mark:5, continuous: the sensing and its length. A problem
// in words, or nullopt when the setup took it.
std::optional<std::string> parseMedia(const std::string& text, standin::MediaSetup& setup) {
    const std::size_t colon = text.find(':');
    const auto tracking = standin::trackingNamed(text.substr(0, colon));
    if (!tracking)
        return "takes gap, mark or continuous, not '" + text + "'";
    setup.tracking = tracking;
    if (colon == std::string::npos)
        return std::nullopt;
    const auto length = standin::parseMillimetres(text.substr(colon + 1));
    if (*tracking == standin::MediaTracking::kContinuous || !length || *length <= 0 ||
        *length > standin::kMaxSensingLength)
        return "takes a gap or mark length from 0.01 to 25.4 mm, not '" + text + "'";
    setup.sensingLength = *length;
    return std::nullopt;
}

} // namespace

std::optional<Failure> parseArguments(int argc, char** argv, Options& options) {
    auto usage = [](const std::string& why) { return Failure{kExitUsage, "labelprint: " + why}; };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--landscape") {
            options.landscape = true;
        } else if (arg == "--dither") {
            options.dither = true;
        } else if (arg == "--test-label") {
            options.testLabel = true;
        } else if (arg == "-h" || arg == "--help") {
            return Failure{kExitUsage, ""};
        } else if (arg == "--version") {
            options.version = true;
            return std::nullopt;
        } else if (arg.starts_with("-") && arg.size() > 1) {
            if (i + 1 >= argc)
                return usage(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            auto integer = [&](long low, long high) -> std::optional<long> {
                auto n = parseInteger(value);
                return n && *n >= low && *n <= high ? n : std::nullopt;
            };
            auto shortField = [&](SHORT& field) -> std::optional<Failure> {
                auto n = integer(SHRT_MIN, SHRT_MAX);
                if (!n)
                    return usage(std::string(arg) +
                                 " takes a whole number from -32768 to 32767, not '" +
                                 std::string(value) + "'");
                field = static_cast<SHORT>(*n);
                return std::nullopt;
            };
            auto command = [&](CommandText& field) -> std::optional<Failure> {
                std::string problem;
                const auto hex = standin::typedCommandAsHex(std::string(value),
                                                            (kCommandTextUnits - 1) / 2, problem);
                if (!hex)
                    return usage(std::string(arg) + ": " + problem);
                field = {true, std::u16string(hex->begin(), hex->end())};
                return std::nullopt;
            };
            auto length = [&](long low, long high) -> std::optional<int> {
                const auto hundredths = standin::parseMillimetres(std::string(value));
                return hundredths && *hundredths >= low && *hundredths <= high ? hundredths
                                                                               : std::nullopt;
            };
            std::optional<Failure> failure;
            if (arg == "-o") {
                options.output = value;
            } else if (arg == "--preview") {
                options.preview = value;
            } else if (arg == "--plugin") {
                options.plugin = value;
            } else if (arg == "--label") {
                std::string problem;
                options.label = parseLabelSize(value, problem);
                if (!options.label)
                    return usage("--label " + problem);
            } else if (arg == "--text") {
                options.text = value;
            } else if (arg == "--code-page") {
                auto n = integer(1, 65535);
                if (!n)
                    return usage("--code-page takes a code page number from 1 to 65535");
                options.codePage = static_cast<int>(*n);
            } else if (arg == "--timeout") {
                auto n = integer(1, 86400);
                if (!n)
                    return usage("--timeout takes a whole number of seconds from 1 to 86400");
                options.timeoutSeconds = static_cast<int>(*n);
            } else if (arg == "--dpi") {
                auto n = integer(1, SHRT_MAX);
                if (!n)
                    return usage("--dpi takes a whole number from 1 to 32767");
                options.dpi = static_cast<int>(*n);
            } else if (arg == "--copies") {
                auto n = integer(1, 999);
                if (!n)
                    return usage("--copies takes a whole number from 1 to 999, not '" +
                                 std::string(value) + "'");
                options.selection.copies = static_cast<int>(*n);
            } else if (arg == "--pages") {
                std::string problem;
                auto ranges = standin::parsePageRanges(value, problem);
                if (!ranges)
                    return usage("--pages " + problem);
                options.selection.ranges = std::move(*ranges);
                options.pageRanges = value;
            } else if (arg == "--band-height") {
                auto n = integer(1, 65536);
                if (!n)
                    return usage("--band-height takes a whole number from 1 to 65536");
                options.bandHeight = static_cast<LONG>(*n);
            } else if (arg == "--density") {
                auto n = integer(0, 15);
                if (!n)
                    return usage("--density takes a density from 0 to 15, not '" +
                                 std::string(value) + "'");
                options.density = static_cast<SHORT>(*n + 1);
            } else if (arg == "--speed") {
                auto n = integer(standin::kMinSpeed, standin::kMaxSpeed);
                if (!n)
                    return usage("--speed takes inches a second from 1 to 12, not '" +
                                 std::string(value) + "'");
                options.setup.speed = static_cast<int>(*n);
            } else if (arg == "--media") {
                if (auto failure = parseMedia(std::string(value), options.setup))
                    return usage("--media " + *failure);
            } else if (arg == "--action") {
                if (value == "feed")
                    options.action = standin::PrinterAction::kFeed;
                else if (value == "calibrate")
                    options.action = standin::PrinterAction::kCalibrate;
                else if (value == "beep")
                    options.action = standin::PrinterAction::kBeep;
                else
                    return usage("--action takes feed, calibrate or beep, not '" +
                                 std::string(value) + "'");
            } else if (arg == "--label-mode") {
                options.setup.mode = standin::labelModeNamed(std::string(value));
                if (!options.setup.mode)
                    return usage("--label-mode takes tear-off, peel-off, cutter or "
                                 "cutter-delayed, not '" +
                                 std::string(value) + "'");
            } else if (arg == "--label-offset" || arg == "--top-offset") {
                const auto offset = length(-standin::kMaxOffset, standin::kMaxOffset);
                if (!offset)
                    return usage(std::string(arg) + " takes millimetres from -100 to 100, not '" +
                                 std::string(value) + "'");
                (arg == "--top-offset" ? options.setup.topOffset : options.setup.modeOffset) =
                    *offset;
            } else if (arg == "--direction") {
                failure = shortField(options.direction);
            } else if (arg == "--shift-x") {
                failure = shortField(options.shiftX);
            } else if (arg == "--shift-y") {
                failure = shortField(options.shiftY);
            } else if (arg == "--job-start") {
                failure = command(options.jobStart);
            } else if (arg == "--page-start") {
                failure = command(options.pageStart);
            } else if (arg == "--page-end") {
                failure = command(options.pageEnd);
            } else if (arg == "--job-end") {
                failure = command(options.jobEnd);
            } else {
                return usage("unknown option " + std::string(arg));
            }
            if (failure)
                return failure;
        } else {
            options.pages.emplace_back(arg);
        }
    }
    if (options.action) {
        if (!options.pages.empty() || !options.text.empty() || options.testLabel)
            return usage("--action goes to the printer alone; give no PAGE, --text or "
                         "--test-label with it");
        return std::nullopt;
    }
    if (options.testLabel) {
        if (!options.pages.empty() || !options.text.empty())
            return usage("--test-label prints the test label; give no PAGE or --text with it");
        if (options.selection.copies != 1 || !options.selection.ranges.empty())
            return usage("--copies and --pages choose pages, and the test label is one");
        return std::nullopt;
    }
    if (!options.text.empty()) {
        if (!options.pages.empty())
            return usage("--text prints a text file; give no PAGE with it");
        if (!options.preview.empty())
            return usage("--preview draws labels, and a text job has none");
        if (options.label)
            return usage("--label fits pages to a label, and a text job has none");
        if (options.selection.copies != 1 || !options.selection.ranges.empty())
            return usage("--copies and --pages choose labels, and a text job has none");
        return std::nullopt;
    }
    if (options.pages.empty())
        return usage("no page given");
    return std::nullopt;
}
