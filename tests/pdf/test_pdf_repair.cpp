// Damaged PDFs that poppler alone cannot print, read through the copy qpdf
// rebuilds.
#include "pdf/pdf_labels.h"

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <goo/GooString.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/scratch_files.h"
#include "support/test_pdf.h"

namespace {

using tools_test::readFile;
using tools_test::ScratchDir;

// Two NUL bytes at the start of the line that opens the page tree's root,
// and the linearization dictionary's /L made to match the longer file. The
// main cross-reference section then lies two bytes past where the file
// says, so poppler rebuilds its table by reading the file line by line; a
// line that starts with NUL reads as empty there, and the page tree is
// lost, while pdftoppm still finds every page through the hint stream.
std::string movedMainSection(std::string pdf) {
    const size_t tree = pdf.find("/Type /Pages");
    const size_t opens = pdf.rfind(" 0 obj", tree);
    const size_t line = pdf.rfind('\n', opens) + 1;
    pdf.insert(line, std::string(2, '\0'));
    const size_t length = pdf.find("/L ") + 3;
    const size_t digits = pdf.find_first_not_of("0123456789", length) - length;
    const std::string size = std::to_string(pdf.size());
    EXPECT_EQ(size.size(), digits);
    return pdf.replace(length, digits, size);
}

// How many pages poppler alone can load of the file.
int popplerPages(const std::string& path) {
    const GlobalParamsIniter state([](ErrorCategory, Goffset, const char*) {});
    PDFDoc pdf(std::make_unique<GooString>(path));
    int loaded = 0;
    for (int number = 1; pdf.isOk() && number <= pdf.getNumPages(); ++number)
        loaded += pdf.getCatalog()->getPage(number) ? 1 : 0;
    return loaded;
}

} // namespace

TEST(PdfRepair, ALinearizedFileWhoseMainSectionMovedPrintsEveryPage) {
    ScratchDir dir;
    const std::string plain =
        dir.write("plain.pdf", tools_test::pdfOf({{"0 0 72 72", "0 g 0 0 8 72 re f", ""},
                                                  {"0 0 72 72", "0 g 0 0 72 8 re f", ""},
                                                  {"0 0 72 36", "0 g 30 0 12 36 re f", ""}}));
    const std::string linearized = dir.path("linearized.pdf");
    ASSERT_EQ(
        std::system(("qpdf --linearize --static-id '" + plain + "' '" + linearized + "'").c_str()),
        0);
    const std::string damaged = dir.write("damaged.pdf", movedMainSection(readFile(linearized)));
    ASSERT_EQ(popplerPages(damaged), 0) << "poppler alone must find no page of the damaged file";

    std::string error;
    const std::unique_ptr<PdfLabels> good = PdfLabels::open(linearized, error);
    ASSERT_TRUE(good) << error;
    const std::unique_ptr<PdfLabels> repaired = PdfLabels::open(damaged, error);
    ASSERT_TRUE(repaired) << error;
    ASSERT_EQ(repaired->pageCount(), 3);
    EXPECT_EQ(repaired->pagesLeftOut(), 0);
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        const ImageReadResult page = repaired->renderPage(index, 203, false);
        ASSERT_TRUE(page.ok()) << page.error;
        EXPECT_EQ(page.image, good->renderPage(index, 203, false).image);
    }

    // From a pipe, qpdf rebuilds the bytes read rather than the file.
    const std::string fifo = dir.path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string bytes = readFile(damaged);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
    const std::unique_ptr<PdfLabels> piped = PdfLabels::open(fifo, error);
    writer.join();
    ASSERT_TRUE(piped) << error;
    ASSERT_EQ(piped->pageCount(), 3);
    EXPECT_EQ(piped->renderPage(2, 203, false).image, good->renderPage(2, 203, false).image);
}
