#pragma once
// How a pasted text becomes cells, apart from any office: splitting, the data-safety rule for numbers,
// and the rectangular writes that carry the cells.

#include <optional>
#include <string>
#include <vector>

namespace sheets::calc {

// Lines at each carriage return (a CR LF pair is one break, the break ending the text starts no further
// line), fields at each tab. An empty text has no lines; an empty line has one empty field.
std::vector<std::vector<std::u16string>> splitPasteText(const std::u16string& text);

// The number a field is written as: only a plain decimal number ("42", "-3.5") whose general text form
// gives back exactly the same text. Anything else ("0012", "1e5", "1.50", 18-digit ids) stays text.
std::optional<double> plainNumber(const std::u16string& field);

// One rectangle of cells, relative to the paste's first cell.
struct PasteBlock {
    int firstLine = 0;
    int lineCount = 0;
    int firstField = 0;
    int fieldCount = 0;
    bool operator==(const PasteBlock&) const = default;
};

// Rectangles that cover fields 0..widths[i]-1 of every line i and nothing else: all lines' first fields
// in one, further fields per run of consecutive lines that reach them. Every width is at least 1.
std::vector<PasteBlock> planPasteBlocks(const std::vector<int>& widths);

}  // namespace sheets::calc
