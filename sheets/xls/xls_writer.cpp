#include "sheets/xls/xls_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "sheets/file_replace.h"
#include "sheets/utf8.h"
#include "sheets/xls/cell_table.h"
#include "sheets/xls/compound_file.h"
#include "sheets/xls/edited_sheet.h"
#include "sheets/xls/sheet_formulas.h"

namespace sheets::xls {
namespace {

constexpr char16_t kWorkbook[] = u"Workbook";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot read " + path + ": " + std::strerror(errno), causeOfErrno(errno, path));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Failure("cannot read " + path, causeOfErrno(EIO, path));
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw Failure("cannot write " + path + ": " + std::strerror(errno), causeOfErrno(errno, path));
}

void checkEdit(const SheetEdit& edit) {
    const bool inserting = edit.insertCount > 0;
    if (edit.insertCount < 0 || (inserting && (edit.insertAt < 1 || edit.insertAt > kLastColumn + 1)) ||
        edit.firstColumn < 1 || edit.firstColumn > kLastColumn + 1 || edit.cells.width < 0)
        throw Failure("an edit outside the sheet");
}

// The Workbook stream of a compound file that holds BIFF8, refused when it holds something else.
std::string workbookStream(const CompoundFile& file) {
    const auto stream = file.rootStream(kWorkbook);
    if (!stream) {
        if (file.rootStream(u"Book"))
            throw Unsupported("a BIFF5 workbook", u"文件是 Excel 5.0/95 或更早的格式");
        throw Unsupported("no Workbook stream", u"文件不是 Excel 97-2003 工作簿");
    }
    return *stream;
}

// Which substream each BOUNDSHEET names, by its position in the stream.
std::vector<std::size_t> substreamsOfSheets(const WorkbookStream& stream, const Globals& globals) {
    std::map<std::size_t, std::size_t> byPosition;
    for (std::size_t k = 1; k < stream.substreams.size(); ++k) byPosition[stream.substreams[k].position] = k;
    std::vector<std::size_t> out;
    for (const auto& sheet : globals.sheets()) {
        const auto it = byPosition.find(sheet.position);
        if (it == byPosition.end()) throw Damaged("a sheet whose substream is missing");
        out.push_back(it->second);
    }
    return out;
}

std::size_t editedSheet(const WorkbookStream& stream, const Globals& globals,
                        const std::vector<std::size_t>& subs, const WorkbookEdit& edit,
                        const std::string& path) {
    const auto& sheets = globals.sheets();
    if (edit.sheetPosition < 1 || edit.sheetPosition > static_cast<int>(sheets.size()))
        throw Failure("no sheet at position " + std::to_string(edit.sheetPosition) + " in " + path);
    const auto index = static_cast<std::size_t>(edit.sheetPosition - 1);
    const auto& sheet = sheets[index];
    if (sheet.type != 0 || stream.substreams[subs[index]].kind() != 0x0010)
        throw Unsupported("sheet " + toUtf8(sheet.name) + " is no worksheet", u"目标不是工作表");
    // The office counted the sheets of this file otherwise: it knows which sheet it changed.
    if (!edit.sheetName.empty() && sheet.name != edit.sheetName)
        throw Unsupported("sheet " + std::to_string(edit.sheetPosition) + " is " + toUtf8(sheet.name) +
                              ", not " + toUtf8(edit.sheetName),
                          u"按位置找到的工作表与 LibreOffice 打开的不是同一个");
    return index;
}

bool holds(const Substream& s, std::uint16_t type) {
    for (const auto& r : s.records)
        if (r.type == type) return true;
    return false;
}

// Tables are not moved: one on the edited sheet, or one whose formulas may name it, is refused.
void checkTables(const WorkbookStream& stream, std::size_t edited, const Globals& globals, int sheet) {
    for (std::size_t k = 1; k < stream.substreams.size(); ++k) {
        const bool tables =
            holds(stream.substreams[k], rt::Feat11) || holds(stream.substreams[k], rt::Feat12);
        if (tables && (k == edited || globals.reachable(sheet)))
            throw Unsupported("a table on a sheet that may refer to the edited sheet",
                              u"工作簿中有表格（列表）");
    }
}

// Every reference of the workbook that points at or beyond the inserted columns moves right.
void shiftReferences(WorkbookStream& stream, std::size_t edited, Globals& globals,
                     const Insertion& insertion) {
    if (insertion.count == 0) return;
    checkTables(stream, edited, globals, insertion.sheet);
    for (std::size_t k = 1; k < stream.substreams.size(); ++k)
        shiftSheetFormulas(stream.substreams[k], k == edited, insertion, globals);
    globals.shiftReferences(insertion);
    shiftEditedSheet(stream.substreams[edited], insertion, globals);
}

// The stream's positions once every record is final: the sheets' offsets in the globals, the string
// index, and the row block indexes (the edited sheet's made anew, the others moved with their sheet).
void place(WorkbookStream& stream, Globals& globals, const std::vector<std::size_t>& subs,
           std::size_t edited) {
    std::vector<std::size_t> starts, recordPositions;
    std::size_t pos = 0;
    for (const auto& r : stream.substreams[0].records) {
        recordPositions.push_back(pos);
        pos += recordSize(r);
    }
    for (const auto& s : stream.substreams) {
        starts.push_back(s.records.empty() ? pos : starts.empty() ? 0 : pos);
        if (&s != &stream.substreams[0])
            for (const auto& r : s.records) pos += recordSize(r);
    }
    std::vector<std::size_t> sheetPositions;
    for (const auto k : subs) sheetPositions.push_back(starts[k]);
    globals.place(recordPositions, sheetPositions);
    for (std::size_t k = 1; k < stream.substreams.size(); ++k) {
        auto& s = stream.substreams[k];
        if (k == edited) {
            indexSheet(s, starts[k]);
        } else {
            moveIndex(s, static_cast<std::int64_t>(starts[k]) - static_cast<std::int64_t>(s.position));
        }
    }
}

std::string editedStream(std::string_view bytes, const WorkbookEdit& workbookEdit, const std::string& path) {
    auto stream = readStream(bytes);
    Globals globals(stream.substreams[0]);
    const auto subs = substreamsOfSheets(stream, globals);
    const auto index = editedSheet(stream, globals, subs, workbookEdit, path);
    const auto edited = subs[index];
    const SheetEdit& edit = workbookEdit.edit;
    const Insertion insertion{static_cast<int>(index), edit.insertAt - 1, edit.insertCount};
    shiftReferences(stream, edited, globals, insertion);
    auto& records = stream.substreams[edited].records;
    CellTable table(records);
    table.shift(insertion);
    table.write(edit, globals);
    table.store(records);
    globals.markForRecalculation();
    globals.commit();
    place(stream, globals, subs, edited);
    return writeStream(stream);
}

}  // namespace

void applyInPlace(const std::string& path, const WorkbookEdit& edit,
                  const std::optional<FileIdentity>& expected) {
    checkEdit(edit.edit);
    const std::string bytes = readFile(path);
    if (!CompoundFile::hasSignature(bytes))
        throw Unsupported(path + " is no compound file", u"文件不是 Excel 97-2003 工作簿");
    try {
        CompoundFile file(bytes);
        file.replaceRootStream(kWorkbook, editedStream(workbookStream(file), edit, path));
        replaceFile(path, expected, [&](const std::string& newFile) { writeFile(newFile, file.bytes()); });
    } catch (const Damaged& d) {
        throw Failure(path + " is damaged: " + d.what(), causeAbout(FailureCause::Kind::Damaged, path));
    }
}

}  // namespace sheets::xls
