// What the user asks of labelprint on its command line.
#pragma once

#include "host/page_selection.h"
#include "host/setup/job_setup.h"
#include "platform/win_types.h"
#include "tools/labelprint/label_size.h"

#include <optional>
#include <string>
#include <vector>

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

extern const char kUsage[];

// A command the user stored, as the hexadecimal text the settings block
// keeps.
struct CommandText {
    bool on = false;
    std::u16string text;
};

struct Options {
    std::string output; // where the spool stream goes: a file, a device, socket://, or "-"
    std::string preview;
    std::string plugin;
    std::string text; // a text file to print in text mode instead of pages
    int codePage = 936;
    int dpi = 203;
    int timeoutSeconds = 30;
    bool landscape = false;
    bool dither = false;
    bool version = false;                         // print the version and nothing else
    bool testLabel = false;                       // print the test label instead of pages
    std::optional<standin::PrinterAction> action; // sent to the printer instead of a job
    // The block's density field: the density sent plus one, 0 for the
    // printer's own.
    SHORT density = 0, direction = 0, shiftX = 0, shiftY = 0;
    standin::MediaSetup setup; // sent before the job: nothing unless asked
    CommandText jobStart, pageStart, pageEnd, jobEnd;
    LONG bandHeight = 64;
    std::vector<std::string> pages;
    std::optional<LabelSize> label;   // every page fitted to this label
    standin::PageSelection selection; // --copies and --pages, over all PAGEs together
    std::string pageRanges;           // --pages as given, for the messages
};

// Why labelprint stops: its exit status and one line for standard error.
struct Failure {
    int status;
    std::string message;
};

// Reads the command line into `options`; a usage failure when it makes no
// sense.
std::optional<Failure> parseArguments(int argc, char** argv, Options& options);
