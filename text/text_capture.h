// Text mode: text is not drawn but collected, one text line at a time, in a
// module-wide table ordered left to right, and sent to the printer as bytes
// of the ANSI code page with one line feed between lines.
#pragma once

#include "platform/unidrv.h"

// One captured string of a text line.
struct TextRun {
    LONG x;      // device x of the run's first glyph
    ULONG count; // UTF-16 units, one per glyph
    WCHAR* text; // owned copy of `count` units and a terminating zero
};

// Slots of the line table before it has to grow.
inline constexpr LONG kTextRunSlots = 206;

// The unique name of the printer-resident font, as the engine reports it.
inline constexpr WCHAR kPrinterFontName[] = u"EPSON24 24x24 打印机字体";
static_assert(sizeof kPrinterFontName / sizeof(WCHAR) == 20);

// Whether `pfo` is the printer-resident font: its unique name equals the
// printer font's, unit for unit. False without a font or a way to ask.
bool isPrinterFont(FONTOBJ* pfo);

// Takes one text call into the line table, starting a new line when the call
// lies at or below the previous one, and switches the module to text mode.
void captureText(PDEVOBJ pdevobj, STROBJ* pstro);

// Copies `count` units of `text` into a new run at `x`, placed after every
// run with an x not greater. When the table is full and cannot grow, the
// runs so far are sent first. False when the copy could not be made.
bool insertTextRun(PDEVOBJ pdevobj, LONG x, ULONG count, const WCHAR* text);

// Sends every run of the table in order to `pdevobj` and empties the table.
void flushTextLine(PDEVOBJ pdevobj);

// Converts one run to ANSI bytes and writes them a character at a time.
// False only when the conversion buffer cannot be had.
bool sendTextRun(PDEVOBJ pdevobj, ULONG count, const WCHAR* text);

// Closes the open text line, if text was captured since the last line feed:
// sends its runs and the line feed (or, with `discard`, drops them unsent)
// and forgets the previous text rectangle, so that nothing of one page or
// document waits for the next.
void endTextLine(PDEVOBJ pdevobj, bool discard = false);

// The number of runs waiting in the table.
LONG pendingTextRuns();
