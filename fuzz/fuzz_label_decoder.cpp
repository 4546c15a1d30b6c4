// The label decoder on any spool bytes. Every label it reports must be whole
// and consistent, draw as the dots it counts, and read back the same when
// written out again as a program of its own.
#include "decoder/label_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// A broken promise of the decoder: a finding.
void require(bool condition) {
    if (!condition)
        std::abort();
}

// The program that carries `label`, as the plug-in writes one.
std::string programOf(const DecodedLabel& label) {
    std::string program =
        "Density " + std::to_string(label.density) + "\r\nDIRECTION " +
        std::to_string(label.direction) + ",0\r\nSIZE " + std::to_string(label.sizeWidthMm) +
        " mm, " + std::to_string(label.sizeHeightMm) + " mm\r\nCLS\r\nBITMAP 0,0," +
        std::to_string(label.widthBytes) + "," + std::to_string(label.heightDots) + ",1,";
    program.append(label.bitmap.begin(), label.bitmap.end());
    return program + "\r\nPRINT 1,1\r\n";
}

// Printed dots of a picture: its set bits.
std::uint64_t setBits(const BilevelImage& picture) {
    std::uint64_t count = 0;
    for (std::uint8_t byte : picture.bits)
        count += static_cast<std::uint64_t>(__builtin_popcount(byte));
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const LabelStream stream = decodeLabelStream(data, size);
    std::size_t end = 0;
    for (const DecodedLabel& label : stream.labels) {
        require(label.offset >= end && label.offset < size);
        require(label.widthBytes >= 0 && label.heightDots >= 0);
        require(label.bitmap.size() ==
                std::size_t(label.widthBytes) * std::size_t(label.heightDots));
        require(label.offset + label.bitmap.size() <= size);
        end = label.offset + label.bitmap.size();

        const BilevelImage picture = labelPicture(label);
        if (!picture.bits.empty()) {
            require(picture.width == label.widthBytes * 8 && picture.height == label.heightDots);
            require(setBits(picture) == label.printedDots);
        }

        const std::string program = programOf(label);
        const LabelStream again = decodeLabelStream(
            reinterpret_cast<const std::uint8_t*>(program.data()), program.size());
        require(again.ok() && again.notes.empty() && again.labels.size() == 1);
        const DecodedLabel& copy = again.labels[0];
        require(copy.density == label.density && copy.direction == label.direction &&
                copy.widthBytes == label.widthBytes && copy.heightDots == label.heightDots &&
                copy.bitmap == label.bitmap && copy.printedDots == label.printedDots);
    }
    return 0;
}
