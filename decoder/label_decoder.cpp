#include "decoder/label_decoder.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>

#include "imaging/page_image_reader.h"

namespace {

constexpr std::string_view kStart = "Density ";
constexpr std::string_view kTrailer = "\r\nPRINT 1,1\r\n";

// Walks one program's header text; remembers where a mismatch happened.
class HeaderReader {
  public:
    HeaderReader(std::string_view input, size_t at) : input_(input), at_(at) {}

    size_t position() const { return at_; }
    bool ranOut() const { return ranOut_; }

    // Input that ends inside the text counts as running out, not as a mismatch.
    bool literal(std::string_view text) {
        const size_t left = input_.size() - at_;
        const size_t common = std::min(left, text.size());
        if (input_.compare(at_, common, text.substr(0, common)) != 0)
            return false;
        if (common < text.size()) {
            ranOut_ = true;
            return false;
        }
        at_ += text.size();
        return true;
    }

    // An optionally negative decimal; magnitudes past int's range are kept
    // just past it so that the caller reports them.
    bool number(int64_t& value) {
        size_t at = at_;
        const bool negative = at < input_.size() && input_[at] == '-';
        if (negative)
            ++at;
        const size_t digitsStart = at;
        int64_t magnitude = 0;
        while (at < input_.size() && input_[at] >= '0' && input_[at] <= '9') {
            magnitude =
                std::min<int64_t>(magnitude * 10 + (input_[at] - '0'), int64_t{INT_MAX} + 2);
            ++at;
        }
        if (at == digitsStart || at == input_.size()) {
            ranOut_ = at == input_.size();
            return false;
        }
        at_ = at;
        value = negative ? -magnitude : magnitude;
        return true;
    }

  private:
    std::string_view input_;
    size_t at_;
    bool ranOut_ = false;
};

struct Header {
    int64_t density, direction, sizeWidth, sizeHeight, widthBytes, heightDots;
};

enum class HeaderMatch { NotAProgram, Complete, Broken };

// Before "DIRECTION " the bytes may be the user's own text that merely starts
// like a program; after it, any mismatch is a broken program.
HeaderMatch matchHeader(HeaderReader& in, Header& header, std::string& problem) {
    if (!in.literal(kStart) || !in.number(header.density) || !in.literal("\r\nDIRECTION "))
        return HeaderMatch::NotAProgram;
    const bool matched = in.number(header.direction) && in.literal(",0\r\nSIZE ") &&
                         in.number(header.sizeWidth) && in.literal(" mm, ") &&
                         in.number(header.sizeHeight) && in.literal(" mm\r\nCLS\r\nBITMAP 0,0,") &&
                         in.number(header.widthBytes) && in.literal(",") &&
                         in.number(header.heightDots) && in.literal(",1,");
    if (matched)
        return HeaderMatch::Complete;
    problem = in.ranOut() ? std::string("header truncated")
                          : "malformed header at byte " + std::to_string(in.position());
    return HeaderMatch::Broken;
}

// The header's numbers must describe a bitmap, and SIZE must agree with it,
// as the printer sizes the label from SIZE but reads as many bytes as BITMAP says.
std::string checkHeader(const Header& h) {
    for (int64_t value :
         {h.density, h.direction, h.sizeWidth, h.sizeHeight, h.widthBytes, h.heightDots})
        if (value < INT_MIN || value > INT_MAX)
            return "number out of range";
    if (h.widthBytes < 0 || h.heightDots < 0)
        return "negative bitmap size (" + std::to_string(h.widthBytes) + " bytes x " +
               std::to_string(h.heightDots) + " lines)";
    if (h.sizeWidth != h.widthBytes)
        return "SIZE width " + std::to_string(h.sizeWidth) + " mm does not match bitmap width " +
               std::to_string(h.widthBytes) + " bytes";
    if (h.sizeHeight != h.heightDots / 8)
        return "SIZE height " + std::to_string(h.sizeHeight) + " mm does not match bitmap height " +
               std::to_string(h.heightDots) + " lines";
    return {};
}

// Byte numbers are inclusive and 0-based, like offsets in a hex viewer.
std::string skippedNote(size_t from, size_t to) {
    const size_t count = to - from;
    if (count == 1)
        return "byte " + std::to_string(from) + ": 1 byte that is not a label program";
    return "bytes " + std::to_string(from) + "-" + std::to_string(to - 1) + ": " +
           std::to_string(count) + " bytes that are not a label program";
}

// A 0 bit is a printed dot.
uint64_t countPrinted(const std::vector<uint8_t>& bitmap) {
    uint64_t blank = 0;
    for (uint8_t byte : bitmap)
        blank += static_cast<uint64_t>(std::popcount(byte));
    return uint64_t{bitmap.size()} * 8 - blank;
}

// Every size is checked against the bytes present before a bitmap is copied,
// so a header declaring gigabytes costs nothing.
void decodeInto(LabelStream& stream, const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
    size_t skippedFrom = 0;
    size_t searchFrom = 0;
    while (searchFrom < input.size()) {
        const size_t start = input.find(kStart, searchFrom);
        if (start == std::string_view::npos)
            break;
        HeaderReader in(input, start);
        Header header{};
        std::string problem;
        const HeaderMatch match = matchHeader(in, header, problem);
        if (match == HeaderMatch::NotAProgram) {
            searchFrom = start + 1;
            continue;
        }
        const std::string where = "label " + std::to_string(stream.labels.size() + 1) +
                                  " at byte " + std::to_string(start) + ": ";
        if (match == HeaderMatch::Complete)
            problem = checkHeader(header);
        if (!problem.empty()) {
            stream.error = where + problem;
            return;
        }
        const uint64_t expected =
            static_cast<uint64_t>(header.widthBytes) * static_cast<uint64_t>(header.heightDots);
        const size_t bitmapAt = in.position();
        const size_t present = input.size() - bitmapAt;
        if (expected > present) {
            stream.error = where + "bitmap truncated (expected " + std::to_string(expected) +
                           " bytes, " + std::to_string(present) + " present)";
            return;
        }
        const size_t trailerAt = bitmapAt + static_cast<size_t>(expected);
        const std::string_view after = input.substr(trailerAt, kTrailer.size());
        if (after != kTrailer) {
            stream.error = where + (kTrailer.starts_with(after)
                                        ? std::string("print command truncated after the bitmap")
                                        : "no print command after the bitmap (byte " +
                                              std::to_string(trailerAt) + ")");
            return;
        }
        if (skippedFrom < start)
            stream.notes.push_back(skippedNote(skippedFrom, start));
        DecodedLabel label;
        label.offset = start;
        label.density = static_cast<int>(header.density);
        label.direction = static_cast<int>(header.direction);
        label.sizeWidthMm = static_cast<int>(header.sizeWidth);
        label.sizeHeightMm = static_cast<int>(header.sizeHeight);
        label.widthBytes = static_cast<int>(header.widthBytes);
        label.heightDots = static_cast<int>(header.heightDots);
        label.bitmap.assign(data + bitmapAt, data + trailerAt);
        label.printedDots = countPrinted(label.bitmap);
        stream.labels.push_back(std::move(label));
        skippedFrom = searchFrom = trailerAt + kTrailer.size();
    }
    if (skippedFrom < input.size())
        stream.notes.push_back(skippedNote(skippedFrom, input.size()));
}

} // namespace

LabelStream decodeLabelStream(const uint8_t* data, size_t size) {
    LabelStream stream;
    try {
        decodeInto(stream, data, size);
    } catch (const std::bad_alloc&) {
        stream.error = "out of memory";
    }
    return stream;
}

BilevelImage labelPicture(const DecodedLabel& label) {
    const int64_t width = int64_t{label.widthBytes} * 8;
    if (width > INT_MAX ||
        label.bitmap.size() != static_cast<size_t>(label.widthBytes) *
                                   static_cast<size_t>(std::max(label.heightDots, 0)))
        return {};
    BilevelImage picture = BilevelImage::blank(static_cast<int>(width), label.heightDots);
    for (size_t i = 0; i < picture.bits.size(); ++i)
        picture.bits[i] = static_cast<uint8_t>(~label.bitmap[i]);
    return picture;
}

std::string numberedPath(const std::string& path, size_t index, size_t count) {
    if (count <= 1)
        return path;
    const size_t slash = path.find_last_of("/\\");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(index + 1) + path.substr(dot);
}

bool writeLabelPictures(const LabelStream& stream, const std::string& pngPath, std::string& error) {
    try {
        if (stream.labels.empty()) {
            error = pngPath + ": no labels to draw";
            return false;
        }
        for (size_t i = 0; i < stream.labels.size(); ++i) {
            const std::string path = numberedPath(pngPath, i, stream.labels.size());
            const DecodedLabel& label = stream.labels[i];
            const BilevelImage picture = labelPicture(label);
            if (picture.bits.empty()) {
                error = path + ": label " + std::to_string(i + 1) + " has no dots to draw";
                return false;
            }
            if (!writePng(path, picture, error))
                return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = pngPath + ": out of memory";
        return false;
    }
}
