// Small PDFs written by hand, for the tests that print PDF pages.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tools_test {

struct TestPage {
    std::string mediaBox = "0 0 100 50";
    std::string content;
    std::string extra; // more page dictionary entries
};

// A minimal PDF with a correct cross-reference table, as PDF writers make.
inline std::string pdfOf(const std::vector<TestPage>& pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (const TestPage& page : pages) {
        const size_t number = objects.size() + 1;
        kids += std::to_string(number) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [" + page.mediaBox + "] " +
                          page.extra + " /Contents " + std::to_string(number + 1) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(page.content.size()) + " >>\nstream\n" +
                          page.content + "\nendstream");
    }
    objects[1] =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[21];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace tools_test
