#include "pdf/pdf_repair.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>

std::optional<std::vector<char>> repairedPdf(const std::string& path,
                                             const std::vector<char>& bytes) {
    // qpdf reports what it cannot read by throwing; nothing of it may leave
    // the module.
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        if (bytes.empty())
            pdf.processFile(path.c_str());
        else
            pdf.processMemoryFile(path.c_str(), bytes.data(), bytes.size());
        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.write();
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        if (!written || written->getSize() == 0)
            return std::nullopt;
        const char* first = reinterpret_cast<const char*>(written->getBuffer());
        return std::vector<char>(first, first + written->getSize());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
