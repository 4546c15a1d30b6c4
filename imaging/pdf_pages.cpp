#include "imaging/pdf_pages.h"

#include <algorithm>

namespace {

// PDF readers look for the header this far into the file, so junk a mail
// gateway or printer driver put before it does not make a file unreadable.
constexpr size_t kHeaderWindow = 1024;
constexpr char kPdfHeader[] = "%PDF-";
constexpr size_t kPdfHeaderLength = sizeof kPdfHeader - 1;

} // namespace

bool looksLikePdf(const uint8_t* head, size_t size) {
    if (head == nullptr)
        return false;
    const size_t window = std::min(size, kHeaderWindow);
    const auto* end = head + window;
    return std::search(head, end, kPdfHeader, kPdfHeader + kPdfHeaderLength) != end;
}
