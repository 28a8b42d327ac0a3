#include "sheets/xls/biff.h"

#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {

std::uint16_t Substream::kind() const {
    return records.empty() || records[0].data.size() < 4 ? 0 : get16(records[0].data, 2);
}

WorkbookStream readStream(std::string_view bytes) {
    WorkbookStream out;
    std::size_t pos = 0;
    int depth = 0;
    while (pos + 4 <= bytes.size()) {
        const std::uint16_t type = get16(bytes, pos);
        const std::size_t size = get16(bytes, pos + 2);
        if (depth == 0 && type != rt::Bof) break;
        if (pos + 4 + size > bytes.size()) throw Damaged("a record runs past the workbook stream");
        if (depth == 0) out.substreams.push_back({pos, {}});
        out.substreams.back().records.push_back({type, std::string(bytes.substr(pos + 4, size))});
        if (type == rt::Bof) ++depth;
        if (type == rt::Eof) --depth;
        pos += 4 + size;
    }
    if (depth != 0) throw Damaged("a substream without its end");
    if (out.substreams.empty() || out.substreams[0].kind() != 0x0005)
        throw Damaged("the workbook stream does not begin with its globals");
    out.tail = std::string(bytes.substr(pos));
    return out;
}

std::string writeStream(const WorkbookStream& stream) {
    std::size_t size = stream.tail.size();
    for (const auto& s : stream.substreams)
        for (const auto& r : s.records) size += recordSize(r);
    std::string out;
    out.reserve(size);
    for (const auto& s : stream.substreams) {
        for (const auto& r : s.records) {
            append16(out, r.type);
            append16(out, static_cast<unsigned>(r.data.size()));
            out += r.data;
        }
    }
    out += stream.tail;
    return out;
}

std::string joinedData(const std::vector<Record>& records, std::size_t i, std::size_t* continues) {
    std::string data = records[i].data;
    std::size_t n = 0;
    while (i + n + 1 < records.size() && records[i + n + 1].type == rt::Continue)
        data += records[i + ++n].data;
    if (continues) *continues = n;
    return data;
}

void splitData(std::vector<Record>& records, std::size_t i, std::string_view data) {
    std::size_t at = 0;
    for (std::size_t k = i; at < data.size(); ++k) {
        auto& part = records[k].data;
        part.assign(data.substr(at, part.size()));
        at += part.size();
    }
}

StringField readString(std::string_view data, std::size_t at, bool shortCount) {
    const std::size_t head = shortCount ? 2 : 3;
    if (at + head > data.size()) throw Damaged("a string runs past its record");
    const std::size_t count = shortCount ? static_cast<unsigned char>(data[at]) : get16(data, at);
    const bool wide = data[at + head - 1] & 1;
    StringField out;
    out.size = head + count * (wide ? 2 : 1);
    if (at + out.size > data.size()) throw Damaged("a string runs past its record");
    for (std::size_t i = 0; i < count; ++i)
        out.text += wide ? static_cast<char16_t>(get16(data, at + head + 2 * i))
                         : static_cast<char16_t>(static_cast<unsigned char>(data[at + head + i]));
    return out;
}

std::string stringBytes(std::u16string_view text) {
    bool wide = false;
    for (const char16_t c : text) wide |= c > 0xFF;
    std::string out;
    append16(out, static_cast<unsigned>(text.size()));
    out += static_cast<char>(wide ? 1 : 0);
    for (const char16_t c : text) {
        if (wide) {
            append16(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace sheets::xls
