#include "printerapp/printers/label_settings.h"

#include "host/setup/command_text.h"
#include "host/standin.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// How far the image may be moved: a print head is at most 108 bytes (864
// dots) wide, a label at most 1000 mm (8000 lines) long.
constexpr int kMaxShiftBytes = 108;
constexpr int kMaxShiftLines = 8000;
// Hex digits a command text holds: the field's units less its terminator,
// whole bytes only.
constexpr std::size_t kMaxCommandDigits = (kCommandTextUnits - 1) / 2 * 2;

struct CommandSlot {
    WORD OemDevMode::*on;
    WCHAR (OemDevMode::*text)[kCommandTextUnits];
};

// The command fields by setting name, in the block's own order of texts.
std::optional<CommandSlot> commandSlot(const std::string& name) {
    if (name.rfind("label-job-start", 0) == 0)
        return CommandSlot{&OemDevMode::jobStartOn, &OemDevMode::jobStartCmd};
    if (name.rfind("label-page-start", 0) == 0)
        return CommandSlot{&OemDevMode::pageStartOn, &OemDevMode::pageStartCmd};
    if (name.rfind("label-page-end", 0) == 0)
        return CommandSlot{&OemDevMode::pageEndOn, &OemDevMode::pageEndCmd};
    if (name.rfind("label-job-end", 0) == 0)
        return CommandSlot{&OemDevMode::jobEndOn, &OemDevMode::jobEndCmd};
    return std::nullopt;
}

SHORT* integerField(LabelSettings& settings, const std::string& name) {
    if (name == "label-direction")
        return &settings.block.direction;
    if (name == "label-shift-x")
        return &settings.block.shiftX;
    if (name == "label-shift-y")
        return &settings.block.shiftY;
    return nullptr;
}

std::optional<long> parseInteger(const std::string& text) {
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return std::nullopt;
    return value;
}

std::string commandText(const WCHAR (&field)[kCommandTextUnits]) {
    std::string text;
    for (WCHAR unit : field) {
        if (unit == 0)
            break;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

std::optional<std::string> setCommand(LabelSettings& settings, const SettingField& field,
                                      const std::string& text) {
    const CommandSlot slot = *commandSlot(field.name);
    if (field.kind == SettingKind::kBoolean) {
        if (text != "true" && text != "false")
            return std::string(field.label) + ": must be true or false";
        settings.block.*slot.on = text == "true" ? 1 : 0;
        return std::nullopt;
    }
    std::string problem;
    const std::optional<std::string> digits =
        standin::typedCommandAsHex(text, kMaxCommandDigits / 2, problem);
    if (!digits)
        return std::string(field.label) + ": " + problem;
    WCHAR(&stored)[kCommandTextUnits] = settings.block.*slot.text;
    std::fill(std::begin(stored), std::end(stored), u'\0');
    std::copy(digits->begin(), digits->end(), stored);
    return std::nullopt;
}

// The media setup as a line of its own: "setup" and each part as
// NAME=VALUE, a part left unset absent; lengths in hundredths of a mm.
std::string setupLine(const standin::MediaSetup& setup) {
    std::string text = "setup sensing=" + std::to_string(setup.sensingLength);
    if (setup.tracking)
        text += std::string(" tracking=") + standin::trackingName(*setup.tracking);
    if (setup.mode)
        text += std::string(" mode=") + standin::labelModeName(*setup.mode);
    if (setup.modeOffset)
        text += " mode-offset=" + std::to_string(*setup.modeOffset);
    if (setup.speed)
        text += " speed=" + std::to_string(*setup.speed);
    if (setup.topOffset)
        text += " top-offset=" + std::to_string(*setup.topOffset);
    return text;
}

// A part that does not read right is left unset: the printer keeps its own.
void readSetupLine(const std::string& line, standin::MediaSetup& setup) {
    if (line.rfind("setup", 0) != 0)
        return;
    std::size_t at = 5;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string::npos)
            break;
        const std::size_t end = std::min(line.find(' ', start), line.size());
        const std::string part = line.substr(start, end - start);
        at = end;
        const std::size_t equals = part.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = part.substr(0, equals);
        const std::string value = part.substr(equals + 1);
        const std::optional<long> number = parseInteger(value);
        if (name == "tracking")
            setup.tracking = standin::trackingNamed(value);
        else if (name == "mode")
            setup.mode = standin::labelModeNamed(value);
        else if (!number)
            continue;
        else if (name == "sensing" && *number > 0 && *number <= standin::kMaxSensingLength)
            setup.sensingLength = static_cast<int>(*number);
        else if (name == "mode-offset" && std::labs(*number) <= standin::kMaxOffset)
            setup.modeOffset = static_cast<int>(*number);
        else if (name == "speed" && *number >= standin::kMinSpeed && *number <= standin::kMaxSpeed)
            setup.speed = static_cast<int>(*number);
        else if (name == "top-offset" && std::labs(*number) <= standin::kMaxOffset)
            setup.topOffset = static_cast<int>(*number);
    }
}

} // namespace

bool LabelSettings::operator==(const LabelSettings& other) const {
    return std::memcmp(&block, &other.block, sizeof block) == 0 && codePage == other.codePage &&
           dither == other.dither && statusQuery == other.statusQuery && setup == other.setup;
}

LabelSettings defaultLabelSettings() {
    LabelSettings settings;
    const DEVMODEW publicDm = standin::makePublicDevMode({});
    defaultDevMode(&publicDm, &settings.block);
    return settings;
}

const std::vector<SettingField>& settingFields() {
    static const std::vector<SettingField> fields = {
        {"label-direction", "Print direction", SettingKind::kInteger, 0, 1},
        {"label-shift-x", "Shift right (8-dot steps)", SettingKind::kInteger, -kMaxShiftBytes,
         kMaxShiftBytes},
        {"label-shift-y", "Shift up (dot lines)", SettingKind::kInteger, -kMaxShiftLines,
         kMaxShiftLines},
        {"label-sensing-length", "Gap between labels, or black mark height (mm)",
         SettingKind::kLength, 1, standin::kMaxSensingLength},
        {"label-job-start-enabled", "Send commands before each job", SettingKind::kBoolean},
        {"label-job-start-command", "Commands sent before each job (text or hexadecimal)",
         SettingKind::kHexCommand},
        {"label-page-start-enabled", "Send commands before each label", SettingKind::kBoolean},
        {"label-page-start-command", "Commands sent before each label (text or hexadecimal)",
         SettingKind::kHexCommand},
        {"label-page-end-enabled", "Send commands after each label", SettingKind::kBoolean},
        {"label-page-end-command", "Commands sent after each label (text or hexadecimal)",
         SettingKind::kHexCommand},
        {"label-job-end-enabled", "Send commands after each job", SettingKind::kBoolean},
        {"label-job-end-command", "Commands sent after each job (text or hexadecimal)",
         SettingKind::kHexCommand},
        {"label-code-page", "Code page of text in the printer's font", SettingKind::kInteger, 37,
         65001},
        {"label-dither", "Dither grey pictures (else a threshold)", SettingKind::kBoolean},
        {"label-status-query", "Ask the printer for its status", SettingKind::kBoolean},
    };
    return fields;
}

const std::vector<int>& supportedCodePages() {
    static const std::vector<int> pages = {437,  850,  852,  866,  874,  932,  936,  949,  950,
                                           1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    return pages;
}

std::string settingValue(const LabelSettings& settings, const SettingField& field) {
    const std::string name = field.name;
    if (name == "label-code-page")
        return std::to_string(settings.codePage);
    if (name == "label-dither")
        return settings.dither ? "true" : "false";
    if (name == "label-status-query")
        return settings.statusQuery ? "true" : "false";
    if (field.kind == SettingKind::kLength)
        return standin::millimetres(settings.setup.sensingLength);
    if (const auto slot = commandSlot(name)) {
        if (field.kind == SettingKind::kBoolean)
            return settings.block.*slot->on == 1 ? "true" : "false";
        return commandText(settings.block.*slot->text);
    }
    auto& mutableSettings = const_cast<LabelSettings&>(settings);
    return std::to_string(*integerField(mutableSettings, name));
}

std::optional<std::string> setSetting(LabelSettings& settings, const SettingField& field,
                                      const std::string& text) {
    const std::string name = field.name;
    if (commandSlot(name))
        return setCommand(settings, field, text);
    if (name == "label-dither" || name == "label-status-query") {
        if (text != "true" && text != "false")
            return std::string(field.label) + ": must be true or false";
        (name == "label-dither" ? settings.dither : settings.statusQuery) = text == "true";
        return std::nullopt;
    }
    if (field.kind == SettingKind::kLength) {
        const std::optional<int> length = standin::parseMillimetres(text);
        if (!length || *length < field.minimum || *length > field.maximum)
            return std::string(field.label) + ": " + text + " is not a length from " +
                   standin::millimetres(field.minimum) + " to " +
                   standin::millimetres(field.maximum) + " mm";
        settings.setup.sensingLength = *length;
        return std::nullopt;
    }
    const std::optional<long> value = parseInteger(text);
    const std::string range =
        " (from " + std::to_string(field.minimum) + " to " + std::to_string(field.maximum) + ")";
    if (!value)
        return std::string(field.label) + ": not a whole number" + range;
    if (name == "label-code-page") {
        const auto& pages = supportedCodePages();
        if (std::find(pages.begin(), pages.end(), *value) == pages.end())
            return std::string(field.label) + ": code page " + text + " is not supported";
        settings.codePage = static_cast<int>(*value);
        return std::nullopt;
    }
    if (*value < field.minimum || *value > field.maximum)
        return std::string(field.label) + ": " + text + " is out of range" + range;
    *integerField(settings, name) = static_cast<SHORT>(*value);
    return std::nullopt;
}

// Rounded down, as PAPPL 1.3.1's Printing Defaults page lists the darkness
// levels, so that its menu always holds the printer's own (a darkness it does
// not list shows as its first, 0 %, and a save would set that).
int darknessOfDensity(SHORT density) {
    const int sent = density <= 0 ? 4 : std::min<int>(density - 1, kDensityLevels - 1);
    return sent * 100 / (kDensityLevels - 1);
}

SHORT densityOfDarkness(int darkness) {
    const int clamped = std::clamp(darkness, 0, 100);
    return static_cast<SHORT>(std::lround(clamped * (kDensityLevels - 1) / 100.0) + 1);
}

SHORT jobDensity(SHORT configured, int printDarkness) {
    if (printDarkness == 0)
        return configured;
    return densityOfDarkness(darknessOfDensity(configured) + printDarkness);
}

bool saveLabelSettings(const std::string& path, const LabelSettings& settings, std::string& error) {
    const std::string temporary = path + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(&settings.block, sizeof settings.block, 1, file) == 1 &&
              std::fprintf(file, "code-page %d\ndither %d\nstatus-query %d\n%s\n",
                           settings.codePage, settings.dither ? 1 : 0, settings.statusQuery ? 1 : 0,
                           setupLine(settings.setup).c_str()) > 0;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be written (" + std::strerror(errno) + ")";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<LabelSettings> loadLabelSettings(const std::string& path, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    LabelSettings settings;
    const bool read = std::fread(&settings.block, sizeof settings.block, 1, file) == 1;
    int codePage = kDefaultCodePage;
    int dither = 0;
    int statusQuery = 1;
    if (read && std::fscanf(file, "code-page %d\ndither %d\nstatus-query %d", &codePage, &dither,
                            &statusQuery) >= 1)
        settings.codePage = codePage;
    char setup[200] = {};
    if (read && std::fscanf(file, " %199[^\n]", setup) == 1)
        readSetupLine(setup, settings.setup);
    settings.dither = dither == 1;
    settings.statusQuery = statusQuery != 0;
    std::fclose(file);
    if (!read || settings.block.dmExtraHeader.dwSignature != kOemSignature ||
        settings.block.dmExtraHeader.dwSize != kOemDevModeSize) {
        error = path + ": not a settings block of this plug-in";
        return std::nullopt;
    }
    return settings;
}
