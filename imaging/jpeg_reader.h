// JPEG pictures, as phones send photos and scans of labels, read as grey.
#pragma once

#include "imaging/page_image_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>

// True when `head` starts as a JPEG file does.
bool looksLikeJpeg(const std::uint8_t* head, std::size_t size);

// Reads a baseline or progressive JPEG as grey values, 0 black to 255 white,
// colour made grey by the decoder. Pictures of more than kMaxGreyDots are
// refused before they are decoded; a damaged file is refused with one line
// naming it.
GreyReadResult readJpegGrey(const std::string& path);
