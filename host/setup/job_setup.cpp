#include "host/setup/job_setup.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace standin {

namespace {

struct Named {
    const char* name;
    int value;
};

constexpr Named kTrackings[] = {{"gap", static_cast<int>(MediaTracking::kGap)},
                                {"mark", static_cast<int>(MediaTracking::kMark)},
                                {"continuous", static_cast<int>(MediaTracking::kContinuous)}};
constexpr Named kModes[] = {{"tear-off", static_cast<int>(LabelMode::kTearOff)},
                            {"peel-off", static_cast<int>(LabelMode::kPeelOff)},
                            {"cutter", static_cast<int>(LabelMode::kCutter)},
                            {"cutter-delayed", static_cast<int>(LabelMode::kCutterDelayed)}};

template <std::size_t N> const char* nameOf(const Named (&table)[N], int value) {
    for (const Named& entry : table) {
        if (entry.value == value)
            return entry.name;
    }
    return "";
}

template <std::size_t N>
std::optional<int> valueNamed(const Named (&table)[N], const std::string& name) {
    for (const Named& entry : table) {
        if (name == entry.name)
            return entry.value;
    }
    return std::nullopt;
}

void line(std::string& out, const std::string& command) {
    out += command;
    out += "\r\n";
}

// Each mode turns the others off first: the printer keeps the last mode it
// was told across jobs and power cycles.
void labelModeCommands(std::string& out, LabelMode mode) {
    switch (mode) {
    case LabelMode::kTearOff:
        line(out, "SET CUTTER OFF");
        line(out, "SET PEEL OFF");
        line(out, "SET TEAR ON");
        break;
    case LabelMode::kPeelOff:
        line(out, "SET CUTTER OFF");
        line(out, "SET PEEL ON");
        break;
    case LabelMode::kCutter:
        line(out, "SET PEEL OFF");
        line(out, "SET CUTTER 1");
        break;
    case LabelMode::kCutterDelayed:
        line(out, "SET PEEL OFF");
        line(out, "SET CUTTER BATCH");
        break;
    }
}

void trackingCommand(std::string& out, MediaTracking tracking, int length) {
    switch (tracking) {
    case MediaTracking::kGap:
        line(out, "GAP " + millimetres(length) + " mm,0 mm");
        break;
    case MediaTracking::kMark:
        line(out, "BLINE " + millimetres(length) + " mm,0 mm");
        break;
    case MediaTracking::kContinuous:
        line(out, "GAP 0,0");
        break;
    }
}

} // namespace

std::vector<std::uint8_t> jobSetupCommands(const MediaSetup& setup, int dpi) {
    std::string out;
    if (setup.speed)
        line(out, "SPEED " + std::to_string(*setup.speed));
    if (setup.tracking)
        trackingCommand(out, *setup.tracking, setup.sensingLength);
    if (setup.mode)
        labelModeCommands(out, *setup.mode);
    if (setup.modeOffset)
        line(out, "OFFSET " + millimetres(*setup.modeOffset) + " mm");
    if (setup.topOffset) {
        const long dots = std::lround(*setup.topOffset * static_cast<double>(dpi) / 2540.0);
        line(out, "SHIFT " + std::to_string(dots));
    }
    return {out.begin(), out.end()};
}

std::vector<std::uint8_t> printerActionCommands(PrinterAction action, const MediaSetup& setup) {
    std::string out;
    switch (action) {
    case PrinterAction::kFeed:
        line(out, "FORMFEED");
        break;
    case PrinterAction::kCalibrate:
        // The sensing the printer is set to, or whichever it finds.
        if (!setup.tracking)
            line(out, "AUTODETECT");
        else if (*setup.tracking == MediaTracking::kGap)
            line(out, "GAPDETECT");
        else if (*setup.tracking == MediaTracking::kMark)
            line(out, "BLINEDETECT");
        break;
    case PrinterAction::kBeep:
        line(out, "SOUND 5,200");
        break;
    }
    return {out.begin(), out.end()};
}

std::string speedInWords(const MediaSetup& setup) {
    return setup.speed ? "Speed " + std::to_string(*setup.speed) + " in/s"
                       : "Speed: the printer's own";
}

std::string mediaInWords(const MediaSetup& setup) {
    if (!setup.tracking)
        return "Media: the printer's own sensing";
    switch (*setup.tracking) {
    case MediaTracking::kGap:
        return "Media: gap " + millimetres(setup.sensingLength) + " mm";
    case MediaTracking::kMark:
        return "Media: black mark " + millimetres(setup.sensingLength) + " mm";
    case MediaTracking::kContinuous:
        break;
    }
    return "Media: continuous";
}

std::string labelModeInWords(const MediaSetup& setup) {
    std::string words = setup.mode ? std::string("Mode: ") + labelModeName(*setup.mode)
                                   : std::string("Mode: the printer's own");
    if (setup.modeOffset)
        words += ", feed " + millimetres(*setup.modeOffset) + " mm";
    return words;
}

std::vector<std::string> testLabelLines(const std::string& name, int widthHundredths,
                                        int lengthHundredths, int densityField,
                                        const MediaSetup& setup, const std::string& date) {
    return {name,
            millimetres(widthHundredths) + " x " + millimetres(lengthHundredths) + " mm",
            densityField > 0 ? "Density " + std::to_string(densityField - 1)
                             : std::string("Density: the printer's own"),
            speedInWords(setup),
            mediaInWords(setup),
            labelModeInWords(setup),
            date};
}

std::string millimetres(int hundredths) {
    const int whole = std::abs(hundredths) / 100;
    const int part = std::abs(hundredths) % 100;
    char text[32];
    if (part == 0)
        std::snprintf(text, sizeof text, "%s%d", hundredths < 0 ? "-" : "", whole);
    else if (part % 10 == 0)
        std::snprintf(text, sizeof text, "%s%d.%d", hundredths < 0 ? "-" : "", whole, part / 10);
    else
        std::snprintf(text, sizeof text, "%s%d.%02d", hundredths < 0 ? "-" : "", whole, part);
    return text;
}

std::optional<int> parseMillimetres(const std::string& given) {
    std::string text = given;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.size() > 2 && text.compare(text.size() - 2, 2, "mm") == 0)
        text.resize(text.size() - 2);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    std::size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    at += negative ? 1 : 0;
    long whole = 0;
    int digits = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at, ++digits) {
        whole = whole * 10 + (text[at] - '0');
        if (whole > 100000)
            return std::nullopt;
    }
    int part = 0;
    int decimals = 0;
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        for (++at; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
            if (++decimals > 2)
                return std::nullopt;
            part = part * 10 + (text[at] - '0');
        }
        if (decimals == 1)
            part *= 10;
    }
    if (at != text.size() || digits + decimals == 0)
        return std::nullopt;
    const long hundredths = whole * 100 + part;
    return static_cast<int>(negative ? -hundredths : hundredths);
}

const char* trackingName(MediaTracking tracking) {
    return nameOf(kTrackings, static_cast<int>(tracking));
}

std::optional<MediaTracking> trackingNamed(const std::string& name) {
    const auto value = valueNamed(kTrackings, name);
    return value ? std::optional(static_cast<MediaTracking>(*value)) : std::nullopt;
}

const char* labelModeName(LabelMode mode) {
    return nameOf(kModes, static_cast<int>(mode));
}

std::optional<LabelMode> labelModeNamed(const std::string& name) {
    const auto value = valueNamed(kModes, name);
    return value ? std::optional(static_cast<LabelMode>(*value)) : std::nullopt;
}

} // namespace standin
