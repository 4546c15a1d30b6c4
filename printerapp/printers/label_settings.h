// A label printer's settings: the plug-in's private settings block, as a
// Windows installation stores it, and the ANSI code page text is sent in.
// Each field that acts on a label is a printer setting with a name, a range
// and a message for a value out of it.
#pragma once

#include "host/setup/job_setup.h"
#include "settings/oem_devmode.h"

#include <optional>
#include <string>
#include <vector>

inline constexpr int kDefaultCodePage = 936;

struct LabelSettings {
    OemDevMode block{}; // exactly what the plug-in reads
    int codePage = kDefaultCodePage;
    bool dither = false;       // grey raster pages halftoned instead of thresholded
    bool statusQuery = true;   // a network printer is asked for its status
    standin::MediaSetup setup; // sent before each job; unset parts send nothing

    bool operator==(const LabelSettings& other) const;
};

// labelprint's defaults: the plug-in's default block, nothing switched on.
LabelSettings defaultLabelSettings();

// The settings a user sets by name, as IPP vendor attributes
// ("NAME-default") and on the printer's web page.
// A command is stored as hexadecimal; a length is millimetres, as text.
enum class SettingKind { kInteger, kBoolean, kHexCommand, kLength };
struct SettingField {
    const char* name;
    const char* label; // as the web page shows it, with its unit
    SettingKind kind;
    int minimum = 0;
    int maximum = 0;
};
const std::vector<SettingField>& settingFields();

// The value of one setting as text ("7", "true", "1B40", "2.5").
std::string settingValue(const LabelSettings& settings, const SettingField& field);

// Stores `text` into the setting; an error message, and nothing stored, when
// it is out of range. A command is taken as hexadecimal, or as the command's
// own text when it holds anything but hexadecimal digits and spaces (each
// line then ends in CR LF); it is stored as hexadecimal either way.
std::optional<std::string> setSetting(LabelSettings& settings, const SettingField& field,
                                      const std::string& text);

// The code pages the plug-in can convert text to.
const std::vector<int>& supportedCodePages();

// Printer darkness (0-100) as the densities the plug-in sends (0-15), and
// back: the block stores the density sent plus one, 0 meaning the default 4.
inline constexpr int kDensityLevels = 16;
int darknessOfDensity(SHORT density);
SHORT densityOfDarkness(int darkness);
// The density a job prints at: the printer's own unless the job asks for a
// darkness of its own (IPP print-darkness, -100 to 100, relative).
SHORT jobDensity(SHORT configured, int printDarkness);

// The settings as stored: the 2228-byte block, then a line with the code
// page, one with the dither switch, one with the status query's switch (on
// when a file has no such line) and one with the media setup (none sent when
// a file has no such line). A file that does not hold a block with the plug-in's
// signature is refused.
bool saveLabelSettings(const std::string& path, const LabelSettings& settings, std::string& error);
std::optional<LabelSettings> loadLabelSettings(const std::string& path, std::string& error);
