// Reading back the label programs the plug-in writes to the printer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bilevel_image.h"

struct DecodedLabel {
    size_t offset = 0; // of the program's first byte in the input
    int density = 0;
    int direction = 0;
    int sizeWidthMm = 0;
    int sizeHeightMm = 0;
    int widthBytes = 0;
    int heightDots = 0;
    std::vector<uint8_t> bitmap; // as sent: a 0 bit is a printed dot
    uint64_t printedDots = 0;
};

struct LabelStream {
    std::vector<DecodedLabel> labels;
    std::vector<std::string> notes; // stretches of bytes that were skipped
    std::string error;              // why decoding stopped early, if it did
    bool ok() const { return error.empty(); }
};

// Finds every label program in spool bytes. Bytes around them (the user's
// own commands) are skipped with a note; a program that is cut short or
// malformed past its first two lines stops decoding with an error, keeping
// the labels decoded before it.
LabelStream decodeLabelStream(const uint8_t* data, size_t size);

// The label as a picture, printed dots set; 0 x 0 when it has no dots.
BilevelImage labelPicture(const DecodedLabel& label);

// "out.png" for a single picture, "out-1.png", "out-2.png", ... for several.
std::string numberedPath(const std::string& path, size_t index, size_t count);

// Writes one PNG per label, named by numberedPath.
bool writeLabelPictures(const LabelStream& stream, const std::string& pngPath, std::string& error);
