#include "printerapp/printers/label_settings.h"

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

// Hex text as the user types it, spaces between bytes allowed; the digits
// alone, or nullopt when anything else is there.
std::optional<std::string> hexDigits(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        digits.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return digits;
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
    const std::optional<std::string> digits = hexDigits(text);
    if (!digits)
        return std::string(field.label) + ": only hexadecimal digits (0-9, A-F) are allowed";
    if (digits->size() % 2 != 0)
        return std::string(field.label) + ": an odd number of hexadecimal digits";
    if (digits->size() > kMaxCommandDigits)
        return std::string(field.label) + ": at most " + std::to_string(kMaxCommandDigits / 2) +
               " bytes";
    WCHAR(&stored)[kCommandTextUnits] = settings.block.*slot.text;
    std::fill(std::begin(stored), std::end(stored), u'\0');
    std::copy(digits->begin(), digits->end(), stored);
    return std::nullopt;
}

} // namespace

LabelSettings defaultLabelSettings() {
    LabelSettings settings;
    const DEVMODEW publicDm = standin::makePublicDevMode({});
    defaultDevMode(&publicDm, &settings.block);
    return settings;
}

const std::vector<SettingField>& settingFields() {
    static const std::vector<SettingField> fields = {
        {"label-direction", "Print direction", SettingKind::kInteger, 0, 1},
        {"label-shift-x", "Shift right (bytes of 8 dots)", SettingKind::kInteger, -kMaxShiftBytes,
         kMaxShiftBytes},
        {"label-shift-y", "Shift up (lines)", SettingKind::kInteger, -kMaxShiftLines,
         kMaxShiftLines},
        {"label-job-start-enabled", "Send at job start", SettingKind::kBoolean},
        {"label-job-start-command", "Job start command (hex)", SettingKind::kHexCommand},
        {"label-page-start-enabled", "Send at page start", SettingKind::kBoolean},
        {"label-page-start-command", "Page start command (hex)", SettingKind::kHexCommand},
        {"label-page-end-enabled", "Send at page end", SettingKind::kBoolean},
        {"label-page-end-command", "Page end command (hex)", SettingKind::kHexCommand},
        {"label-job-end-enabled", "Send at job end", SettingKind::kBoolean},
        {"label-job-end-command", "Job end command (hex)", SettingKind::kHexCommand},
        {"label-code-page", "Code page for text", SettingKind::kInteger, 37, 65001},
        {"label-dither", "Dither grey pictures", SettingKind::kBoolean},
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
              std::fprintf(file, "code-page %d\ndither %d\nstatus-query %d\n", settings.codePage,
                           settings.dither ? 1 : 0, settings.statusQuery ? 1 : 0) > 0;
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
