#pragma once
// Packages for comparing how the office and the packages themselves read workbooks: every kind of
// cell content, number format, string item and format that widens the used rows, written as XML
// straight into the package, and random sheets of all of them. The same seed gives the same files.

#include <cstdint>
#include <string>
#include <vector>

namespace reading_corpus {

// Writes the corpus into folder; returns the paths written. `random` sheets of random content are
// added to the fixed cases.
std::vector<std::string> write(const std::string& folder, std::uint32_t seed, int random);

// A package of one worksheet with the corpus's styles and strings and the given rows (sheetData's
// XML).
void writeSheet(const std::string& path, const std::string& rows);

}  // namespace reading_corpus
