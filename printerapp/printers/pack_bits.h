// Run-length packing (PackBits) for the label program a printer keeps for
// its settings page's picture: a label's dots are mostly long runs of white
// or black, so a 4 x 6 in label of 124 KB keeps as 2-10 KB, and a server
// with many printers does not hold a whole label for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<std::uint8_t> packBits(const std::uint8_t* bytes, std::size_t count);

// The bytes packBits packed; what a damaged packing holds stops at the
// damage.
std::vector<std::uint8_t> unpackBits(const std::vector<std::uint8_t>& packed);
