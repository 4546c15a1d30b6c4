// A network printer's raw port (socket://HOST[:PORT]) as the program opens it:
// connected within 2 s, a small send buffer so that little is in flight, and
// writes that wait a tenth of a second at a time.
#pragma once

#include "printerapp/devices/printer_link.h"

#include <string>

// The scheme PAPPL knows the program's network printers by.
inline constexpr char kSocketScheme[] = "label-socket";

class PrinterConnection final : public PrinterLink {
  public:
    PrinterConnection(std::string host, int port) : host_(std::move(host)), port_(port) {}
    ~PrinterConnection() override { close(); }

    bool connect(std::string& error) override;
    void close() override;
    bool connected() const override { return fd_ >= 0; }
    bool write(const void* bytes, std::size_t count) override;
    long read(void* bytes, std::size_t count, std::chrono::milliseconds within) override;
    // What the printer's TCP has acknowledged.
    std::uint64_t acknowledged() override;
    bool drain() override;

  private:
    void dropUnread() override;

    std::string host_;
    int port_;
    int fd_ = -1;
    std::uint64_t acknowledged_ = 0;
};

// Makes PAPPL open socket:// printers through PrinterConnection.
void addSocketScheme();
