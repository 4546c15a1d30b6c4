// What a person types into a command field of the printer's settings, as the
// settings block stores it: hexadecimal digits, two for each byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace standin {

// Hexadecimal bytes ("1B 40", spaces allowed) stay as they are; anything
// else is the commands' own text, each line sent with CR LF after it. Text
// in double quotes is always text: "FEED 10" would otherwise read as the
// bytes FE ED 10. Nullopt, with `problem`, for an odd number of hexadecimal
// digits or more than `maxBytes` bytes.
std::optional<std::string> typedCommandAsHex(const std::string& typed, std::size_t maxBytes,
                                             std::string& problem);

} // namespace standin
