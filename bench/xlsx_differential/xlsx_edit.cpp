// Applies one in-place edit to an .xlsx: xlsx_edit FILE SHEET AT COUNT [VALUE...] (see in_place_edit.h).
#include "in_place_edit.h"
#include "sheets/xlsx/xlsx_writer.h"

int main(int argc, char** argv) {
    return bench::editInPlace(argc, argv, [](const std::string& file, const sheets::WorkbookEdit& edit) {
        sheets::xlsx::applyInPlace(file, edit);
    });
}
