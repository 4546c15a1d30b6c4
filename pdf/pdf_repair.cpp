#include "pdf/pdf_repair.h"

#include <qpdf/qpdf-c.h>

std::optional<std::vector<char>> repairedPdf(const std::string& path,
                                             const std::vector<char>& bytes) {
    // qpdf's C interface: its C++ headers do not compile with clang 14 over
    // libstdc++ 12 (the fuzz build), and no exception of qpdf's can leave it.
    qpdf_data pdf = qpdf_init();
    qpdf_set_suppress_warnings(pdf, QPDF_TRUE);
    const QPDF_ERROR_CODE read =
        bytes.empty() ? qpdf_read(pdf, path.c_str(), nullptr)
                      : qpdf_read_memory(pdf, path.c_str(), bytes.data(), bytes.size(), nullptr);
    std::optional<std::vector<char>> written;
    if (!(read & QPDF_ERRORS) && !(qpdf_init_write_memory(pdf) & QPDF_ERRORS) &&
        !(qpdf_write(pdf) & QPDF_ERRORS) && qpdf_get_buffer_length(pdf) > 0) {
        const auto* first = reinterpret_cast<const char*>(qpdf_get_buffer(pdf));
        written.emplace(first, first + qpdf_get_buffer_length(pdf));
    }
    // An error left unread is printed on standard error at the clean-up; the
    // caller says in one line of its own that the file is damaged.
    while (qpdf_has_error(pdf))
        qpdf_get_error(pdf);
    qpdf_cleanup(&pdf);
    return written;
}
