// What a label job should put on the spool stream, worked out here from the
// pages and settings alone, so that runs under failing allocations, odd sizes
// and threads can be held against it.
#pragma once

#include "host/print_job.h"

#include <string>
#include <vector>

namespace model {

using Bytes = std::vector<BYTE>;
using Lines = std::vector<Bytes>;

// A page with about a quarter of its dots printed; lines `blankFrom` to
// `blankTo` − 1 are left blank, so that whole bands among them reach the
// plug-in as blank bands.
standin::PageBitmap randomPage(LONG width, LONG height, unsigned seed, LONG blankFrom = 0,
                               LONG blankTo = 0);

// The lines the plug-in captures: DWORD-aligned, 0 bits printed, every other
// bit (padding included) 1.
Lines capturedLines(const standin::PageBitmap& page);

// The settings that shape a label program.
struct Label {
    SHORT density = 0;
    SHORT direction = 0;
    SHORT shiftX = 0;
    SHORT shiftY = 0;
    bool landscape = false;
};

// The label program for `lines` of `width` bytes each.
std::string labelProgram(const Lines& lines, std::size_t width, const Label& settings = {});

// The program for a whole captured page.
std::string labelProgram(const standin::PageBitmap& page, const Label& settings = {});

// Paper that fits every page, as an application would choose it for them.
standin::PaperSettings paperFor(const std::vector<standin::PageBitmap>& pages, bool landscape);

// The job's private settings carrying `settings`, and no stored commands.
void applyLabelSettings(OemDevMode& devmode, const Label& settings);

// A job of `pages` with `settings`, on paper that fits them.
standin::LabelJob labelJob(std::vector<standin::PageBitmap> pages, const Label& settings = {});

inline std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace model
