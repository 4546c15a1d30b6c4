// Reaching a network printer's raw port: reading "socket://HOST[:PORT]" and
// connecting within a timeout.
#pragma once

#include <cstdint>
#include <string>

// The port raw label and page printers listen on.
inline constexpr std::uint16_t kRawPrinterPort = 9100;

struct PrinterAddress {
    std::string host; // a name, or an IPv4 or IPv6 address without brackets
    std::uint16_t port = kRawPrinterPort;
};

// Reads "socket://HOST[:PORT]", an IPv6 literal written "[::1]" so its
// colons are not taken for the port's. False with `error` set to one line
// naming `target` when it does not have that form.
bool parsePrinterAddress(const std::string& target, PrinterAddress& address, std::string& error);

// A connected, non-blocking TCP socket to `address`, trying each address the
// host has until one answers, all within `timeoutSeconds` (zero or less
// waits without limit). -1 with `error` set to one line naming `target`.
int connectToPrinter(const std::string& target, const PrinterAddress& address, int timeoutSeconds,
                     std::string& error);
