// The job-setup commands a printer configuration names, sent by Unidrv at the
// start of every job before the plug-in writes anything: how the printer
// senses the labels loaded, what it does with a printed label, its speed and
// where the print starts along the feed. A setting left unset sends nothing,
// so the printer keeps what it was last told.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// How the printer finds the start of the next label.
enum class MediaTracking {
    kGap,        // the gap between labels
    kMark,       // a black mark on the back
    kContinuous, // nothing: a continuous roll
};

// What the printer does with a printed label.
enum class LabelMode {
    kTearOff,       // feeds it to the tear bar
    kPeelOff,       // peels it off its liner
    kCutter,        // cuts after every label
    kCutterDelayed, // cuts once, after the job's last label
};

// A length of the media sensing (the gap, or the mark's height) when the
// printer is not told one.
inline constexpr int kDefaultSensingLength = 300; // hundredths of a millimetre

struct MediaSetup {
    std::optional<MediaTracking> tracking;
    int sensingLength = kDefaultSensingLength; // hundredths of a mm: the gap or the mark
    std::optional<LabelMode> mode;
    std::optional<int> modeOffset; // hundredths of a mm fed past the print position
    std::optional<int> speed;      // inches a second
    std::optional<int> topOffset;  // hundredths of a mm the print moves along the feed

    bool operator==(const MediaSetup&) const = default;
};

// Ranges a printer takes.
inline constexpr int kMinSpeed = 1;
inline constexpr int kMaxSpeed = 12;
inline constexpr int kMaxSensingLength = 2540; // 25.4 mm
inline constexpr int kMaxOffset = 10000;       // 100 mm either way

// The commands, CR LF after each, for a printer of `dpi` dots an inch.
std::vector<std::uint8_t> jobSetupCommands(const MediaSetup& setup, int dpi);

// What a person asks a printer to do at once, outside any job.
enum class PrinterAction {
    kFeed,      // feed one label
    kCalibrate, // measure the loaded labels: their gap or mark, and length
    kBeep,      // sound, to find the printer among others
};

// The action's commands; empty when there is nothing to do (a continuous
// roll has nothing to measure).
std::vector<std::uint8_t> printerActionCommands(PrinterAction action, const MediaSetup& setup);

// The setup in words, as the test label shows it: "Speed 4 in/s", "Speed:
// the printer's own"; "Media: gap 3 mm", "Media: black mark 5 mm",
// "Media: continuous", "Media: the printer's own sensing"; the label mode
// likewise.
std::string speedInWords(const MediaSetup& setup);
std::string mediaInWords(const MediaSetup& setup);
std::string labelModeInWords(const MediaSetup& setup);

// The lines of a test label: the printer's name, the label's size (in
// hundredths of a mm), the density (the settings block's field: the density
// sent plus one, 0 for the printer's own), speed, media, label mode, and the
// date as given.
std::vector<std::string> testLabelLines(const std::string& name, int widthHundredths,
                                        int lengthHundredths, int densityField,
                                        const MediaSetup& setup, const std::string& date);

// Hundredths of a millimetre as a printer and a person read them: "3",
// "2.5", "-1.25".
std::string millimetres(int hundredths);
// "2.5", "3", "-1.25" (a "mm" suffix allowed) as hundredths of a millimetre;
// nullopt for anything else or more than two decimals.
std::optional<int> parseMillimetres(const std::string& text);

// The words people and IPP use for them: "gap", "mark", "continuous";
// "tear-off", "peel-off", "cutter", "cutter-delayed".
const char* trackingName(MediaTracking tracking);
std::optional<MediaTracking> trackingNamed(const std::string& name);
const char* labelModeName(LabelMode mode);
std::optional<LabelMode> labelModeNamed(const std::string& name);

} // namespace standin
