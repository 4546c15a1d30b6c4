// A damaged PDF rebuilt with qpdf, for the files poppler gives up on: qpdf
// finds objects by reading the whole file where poppler trusts its tables.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The file at `path` (or, when `bytes` is not empty, those bytes, read from
// it), written anew with its objects and cross-reference table made whole;
// nullopt when qpdf cannot read it either. Encryption is kept as it was.
std::optional<std::vector<char>> repairedPdf(const std::string& path,
                                             const std::vector<char>& bytes);
