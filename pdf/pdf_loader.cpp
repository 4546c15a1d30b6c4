#include "pdf/pdf_loader.h"

#include "host/installed_files.h"

#include <dlfcn.h>

namespace {

// The module's entry point, found once; null, with `problem` set, when the
// module cannot be loaded. poppler keeps state of its own, so the module is
// never unloaded.
OpenPdfPages pdfReader(std::string& problem) {
    static OpenPdfPages entry = nullptr;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const std::string module = installedFile("LABEL_PDF_MODULE", "../lib/liblabelpdf.so");
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
    problem = failure;
    return entry;
}

} // namespace

std::unique_ptr<PdfPages> openPdfPages(const std::string& path, std::string& error) {
    std::string problem;
    const OpenPdfPages open = pdfReader(problem);
    if (!open) {
        error = path + ": " + problem;
        return nullptr;
    }
    return std::unique_ptr<PdfPages>(open(path, error));
}
