#include "pdf/pdf_loader.h"

#include "host/installed_files.h"

#include <dlfcn.h>

namespace {

// The module's entry point, or why there is none. poppler keeps state of its
// own, so the module is never unloaded.
struct PdfReader {
    OpenPdfPages entry = nullptr;
    std::string failure;

    PdfReader() {
        const std::string module = installedFile("LABEL_PDF_MODULE", "liblabelpdf.so");
        if (void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            entry = reinterpret_cast<OpenPdfPages>(dlsym(handle, kOpenPdfPagesName));
            if (!entry)
                failure = module + " is not the PDF reader";
        } else {
            const char* reason = dlerror();
            failure = "the PDF reader cannot be loaded (" +
                      std::string(reason ? reason : module.c_str()) + ")";
        }
    }
};

// Loaded at the first PDF, once, whichever thread meets it first.
const PdfReader& pdfReader() {
    static const PdfReader reader;
    return reader;
}

} // namespace

std::unique_ptr<PdfPages> openPdfPages(const std::string& path, std::string& error) {
    const PdfReader& reader = pdfReader();
    if (!reader.entry) {
        error = path + ": " + reader.failure;
        return nullptr;
    }
    return std::unique_ptr<PdfPages>(reader.entry(path, error));
}
