// A raster document read twice, its lines decoded by the program and by
// libcups: the first page's header must come out the same, and every line
// of a page the printer takes the same bytes, or the same end of the stream.
// (Documents of several pages are held to libcups by the unit tests.)
#include "fuzz/harness.h"
#include "fuzz/raster_input.h"
#include "printerapp/rendering/raster_page.h"
#include "printerapp/rendering/raster_stream.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace {

// Pages larger than this cost time (libcups's above all), not coverage.
constexpr std::uint64_t kMaxFuzzPageBytes = 1u << 18;

// The input as a file of its own, read from its start.
class InputFile {
  public:
    InputFile(const std::uint8_t* data, std::size_t size)
        : fd_(memfd_create("raster", MFD_CLOEXEC)) {
        for (std::size_t done = 0; fd_ >= 0 && done < size;) {
            const ssize_t wrote = write(fd_, data + done, size - done);
            if (wrote <= 0)
                break;
            done += static_cast<std::size_t>(wrote);
        }
        if (fd_ >= 0)
            lseek(fd_, 0, SEEK_SET);
    }
    ~InputFile() {
        if (fd_ >= 0)
            close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const InputFile ownFile(data, size), libcupsFile(data, size);
    if (fuzzing::outlandish(data, size) || ownFile.fd() < 0 || libcupsFile.fd() < 0)
        return 0;
    RasterStream own(ownFile.fd(), true), libcups(libcupsFile.fd(), false);
    const bool opened = own.open();
    fuzzing::require(opened == libcups.open());
    if (!opened)
        return 0;
    cups_page_header2_t ownHeader{}, libcupsHeader{};
    const bool read = own.readHeader(ownHeader);
    fuzzing::require(read == libcups.readHeader(libcupsHeader));
    if (!read)
        return 0;
    fuzzing::require(std::memcmp(&ownHeader, &libcupsHeader, sizeof ownHeader) == 0);
    // Lines are read only of pages the printer takes, as the jobs read them.
    if (!RasterPage::problemWith(ownHeader).empty() ||
        std::uint64_t{ownHeader.cupsBytesPerLine} * ownHeader.cupsHeight > kMaxFuzzPageBytes)
        return 0;
    for (unsigned y = 0; y < ownHeader.cupsHeight; ++y) {
        const std::uint8_t* ownLine = own.readLine();
        const std::uint8_t* libcupsLine = libcups.readLine();
        fuzzing::require((ownLine == nullptr) == (libcupsLine == nullptr));
        if (!ownLine)
            return 0;
        fuzzing::require(std::memcmp(ownLine, libcupsLine, ownHeader.cupsBytesPerLine) == 0);
    }
    return 0;
}
