#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sheets::xls {

// Record types this writer reads or writes.
namespace rt {
inline constexpr std::uint16_t Formula = 0x0006, Eof = 0x000A, Protect = 0x0012, ExternSheet = 0x0017,
                               Name = 0x0018, VerticalPageBreaks = 0x001A, Note = 0x001C, Selection = 0x001D,
                               DateMode = 0x0022, FilePass = 0x002F, Continue = 0x003C, Pane = 0x0041,
                               DConRef = 0x0051, DConName = 0x0052, DefColWidth = 0x0055,
                               FileSharing = 0x005B, Obj = 0x005D, ColInfo = 0x007D, WsBool = 0x0081,
                               BoundSheet = 0x0085, WriteProt = 0x0086, AutoFilterInfo = 0x009D,
                               AutoFilter = 0x009E, MulRk = 0x00BD, MulBlank = 0x00BE, RString = 0x00D6,
                               DbCell = 0x00D7, Xf = 0x00E0, MergeCells = 0x00E5, MsoDrawing = 0x00EC,
                               PhoneticInfo = 0x00EF, Sst = 0x00FC, LabelSst = 0x00FD, ExtSst = 0x00FF,
                               LabelRanges = 0x015F, SupBook = 0x01AE, CondFmt = 0x01B0, Cf = 0x01B1,
                               DConBin = 0x01B5, Txo = 0x01B6, HLink = 0x01B8, Dv = 0x01BE, RecalcId = 0x01C1,
                               EntExU2 = 0x01C2, Dimensions = 0x0200, Blank = 0x0201, Number = 0x0203,
                               Label = 0x0204, BoolErr = 0x0205, String = 0x0207, Row = 0x0208,
                               Index = 0x020B, Array = 0x0221, DefaultRowHeight = 0x0225, Table = 0x0236,
                               Window2 = 0x023E, Rk = 0x027E, Format = 0x041E, ShrFmla = 0x04BC,
                               HLinkTooltip = 0x0800, Bof = 0x0809, Feat = 0x0868, Feat11 = 0x0872,
                               ContinueFrt11 = 0x0875, Feat12 = 0x0878, CondFmt12 = 0x0879, Cf12 = 0x087A,
                               CfEx = 0x087B, XfCrc = 0x087C, XfExt = 0x087D, AutoFilter12 = 0x087E,
                               Brai = 0x1051;
}  // namespace rt

struct Record {
    std::uint16_t type = 0;
    std::string data;
};

// One substream: from its BOF to its EOF, the charts embedded in a sheet included.
struct Substream {
    std::size_t position = 0;  // where its BOF was in the stream as read
    std::vector<Record> records;

    std::uint16_t kind() const;  // the BOF's type: 0x0005 globals, 0x0010 sheet, 0x0020 chart, ...
};

// The Workbook stream: the globals first, then the other substreams in the stream's order, then
// whatever followed the last one.
struct WorkbookStream {
    std::vector<Substream> substreams;
    std::string tail;
};

// Throws Damaged when the records do not read.
WorkbookStream readStream(std::string_view bytes);
std::string writeStream(const WorkbookStream& stream);
inline std::size_t recordSize(const Record& r) {
    return 4 + r.data.size();
}

// A record's data with that of the CONTINUE records after it (from index i), and their count.
std::string joinedData(const std::vector<Record>& records, std::size_t i, std::size_t* continues = nullptr);
// Puts data of the same size back into the record at i and its CONTINUE records, as they were split.
void splitData(std::vector<Record>& records, std::size_t i, std::string_view data);

// Strings of the format: a count, a flags byte (bit 0: two bytes a character), the characters.
struct StringField {
    std::u16string text;
    std::size_t size = 0;  // bytes taken, count and flags included
};
// XLUnicodeString (16-bit count) and ShortXLUnicodeString (8-bit count) at `at`. Damaged when short.
StringField readString(std::string_view data, std::size_t at, bool shortCount = false);
// An XLUnicodeString, in one byte a character when every character allows it.
std::string stringBytes(std::u16string_view text);

}  // namespace sheets::xls
