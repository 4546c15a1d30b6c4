#include "host/setup/command_text.h"

#include <cctype>

namespace standin {

namespace {

bool quoted(const std::string& text) {
    return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// The digits alone, upper case, or nullopt when anything but digits and
// spaces is there.
std::optional<std::string> hexDigits(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        digits.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return digits;
}

std::string textAsHex(std::string text) {
    if (quoted(text))
        text = text.substr(1, text.size() - 2);
    std::string bytes;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            bytes += line + "\r\n";
        start = end + 1;
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

} // namespace

std::optional<std::string> typedCommandAsHex(const std::string& typed, std::size_t maxBytes,
                                             std::string& problem) {
    std::optional<std::string> digits = quoted(typed) ? std::nullopt : hexDigits(typed);
    if (digits && digits->size() % 2 != 0) {
        problem = "an odd number of hexadecimal digits (put a command's text in double quotes)";
        return std::nullopt;
    }
    if (!digits)
        digits = textAsHex(typed);
    if (digits->size() / 2 > maxBytes) {
        problem = "at most " + std::to_string(maxBytes) + " bytes";
        return std::nullopt;
    }
    return digits;
}

} // namespace standin
