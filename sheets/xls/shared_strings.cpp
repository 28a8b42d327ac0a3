#include "sheets/xls/shared_strings.h"

#include <algorithm>

#include "sheets/failure.h"
#include "sheets/xls/bytes.h"
#include "sheets/xls/compound_file.h"

namespace sheets::xls {
namespace {

constexpr std::size_t kMaxData = 8224;

std::size_t find(const std::vector<Record>& records, std::uint16_t type) {
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i].type == type) return i;
    return records.size();
}

// The SST record and the CONTINUE records after it, as indexes into the globals.
std::pair<std::size_t, std::size_t> tableRange(const std::vector<Record>& globals) {
    const std::size_t first = find(globals, rt::Sst);
    std::size_t end = first + 1;
    while (end < globals.size() && globals[end].type == rt::Continue) ++end;
    return {first, end};
}

}  // namespace

SharedStrings::SharedStrings(const std::vector<Record>& globals) {
    const auto [first, end] = tableRange(globals);
    if (first == globals.size()) return;
    present_ = true;
    read(std::vector<Record>(globals.begin() + static_cast<std::ptrdiff_t>(first),
                             globals.begin() + static_cast<std::ptrdiff_t>(end)));
    if (const auto ext = find(globals, rt::ExtSst); ext < globals.size() && globals[ext].data.size() >= 2)
        bucketSize_ = std::max<std::uint16_t>(1, get16(globals[ext].data, 0));
}

void SharedStrings::read(const std::vector<Record>& parts) {
    if (parts[0].data.size() < 8) throw Damaged("a shared string table without its counts");
    total_ = get32(parts[0].data, 0);
    unique_ = get32(parts[0].data, 4);
    std::size_t record = 0, offset = 8;
    places_.reserve(unique_);
    for (std::uint32_t i = 0; i < unique_; ++i) {
        if (offset == parts[record].data.size() && record + 1 < parts.size()) ++record, offset = 0;
        places_.push_back({record, offset});
        std::u16string text;
        if (readString(parts, record, offset, &text) == 0) plain_.try_emplace(std::move(text), i);
    }
    // Strings can only be added right after the last one.
    appendable_ = record + 1 == parts.size() && offset == parts[record].data.size();
}

// Reads one string from (record, offset) on; returns the bytes of formatting it carries (0 for a
// plain string, whose text is then set).
std::size_t SharedStrings::readString(const std::vector<Record>& parts, std::size_t& record,
                                      std::size_t& offset, std::u16string* text) const {
    const auto* data = &parts[record].data;
    const auto need = [&](std::size_t n) {
        if (offset + n > data->size()) throw Damaged("a shared string header cut by its record");
    };
    need(3);
    std::size_t chars = get16(*data, offset);
    const int flags = static_cast<unsigned char>((*data)[offset + 2]);
    offset += 3;
    std::size_t formatting = 0;
    if (flags & 0x08) need(2), formatting += 4 * std::size_t{get16(*data, offset)}, offset += 2;
    if (flags & 0x04) need(4), formatting += get32(*data, offset), offset += 4;
    bool wide = flags & 1;
    const auto next = [&] {
        if (++record >= parts.size()) throw Damaged("a shared string runs past its table");
        data = &parts[record].data;
        offset = 0;
    };
    while (chars > 0) {
        if (offset >= data->size()) {
            next();
            need(1);
            wide = (*data)[offset++] & 1;
            continue;
        }
        const std::size_t n = std::min(chars, (data->size() - offset) / (wide ? 2 : 1));
        if (n == 0) throw Damaged("a character cut by its record");
        for (std::size_t k = 0; k < n; ++k)
            text->push_back(wide ? static_cast<char16_t>(get16(*data, offset + 2 * k))
                                 : static_cast<char16_t>(static_cast<unsigned char>((*data)[offset + k])));
        offset += n * (wide ? 2 : 1);
        chars -= n;
    }
    for (std::size_t left = formatting; left > 0;) {
        if (offset >= data->size()) next();
        const std::size_t n = std::min(left, data->size() - offset);
        offset += n;
        left -= n;
    }
    return formatting;
}

std::uint32_t SharedStrings::indexOf(const std::u16string& text) {
    if (const auto it = plain_.find(text); it != plain_.end()) return it->second;
    const auto index = unique_ + static_cast<std::uint32_t>(added_.size());
    added_.push_back(text);
    plain_.emplace(text, index);
    return index;
}

void SharedStrings::append(std::vector<Record>& parts, const std::u16string& text) const {
    const bool wide = std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
    const std::size_t width = wide ? 2 : 1;
    if (parts.back().data.size() + 3 + width > kMaxData) parts.push_back({rt::Continue, {}});
    addedPlaces_.push_back({parts.size() - 1, parts.back().data.size()});
    append16(parts.back().data, static_cast<unsigned>(text.size()));
    parts.back().data += static_cast<char>(wide ? 1 : 0);
    for (std::size_t done = 0; done < text.size();) {
        auto* data = &parts.back().data;
        if (data->size() + width > kMaxData) {
            parts.push_back({rt::Continue, std::string(1, static_cast<char>(wide ? 1 : 0))});
            data = &parts.back().data;
        }
        const std::size_t n = std::min(text.size() - done, (kMaxData - data->size()) / width);
        for (std::size_t k = 0; k < n; ++k) {
            if (wide) {
                append16(*data, text[done + k]);
            } else {
                *data += static_cast<char>(text[done + k]);
            }
        }
        done += n;
    }
}

void SharedStrings::commit(std::vector<Record>& globals) const {
    if (!changed()) return;
    if (!present_) {
        const std::size_t eof = find(globals, rt::Eof);
        globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(eof),
                       {{rt::Sst, std::string(8, '\0')}, {rt::ExtSst, std::string("\x08\x00", 2)}});
    }
    const auto [first, end] = tableRange(globals);
    std::vector<Record> parts(globals.begin() + static_cast<std::ptrdiff_t>(first),
                              globals.begin() + static_cast<std::ptrdiff_t>(end));
    put32(parts[0].data, 0, static_cast<std::uint32_t>(static_cast<std::int64_t>(total_) + referenceDelta_));
    put32(parts[0].data, 4, unique_ + static_cast<std::uint32_t>(added_.size()));
    addedPlaces_.clear();
    if (!added_.empty() && !appendable_)
        throw Unsupported("bytes follow the last shared string", u"共享字符串表无法识别");
    for (const auto& text : added_) append(parts, text);
    globals.erase(globals.begin() + static_cast<std::ptrdiff_t>(first),
                  globals.begin() + static_cast<std::ptrdiff_t>(end));
    globals.insert(globals.begin() + static_cast<std::ptrdiff_t>(first), parts.begin(), parts.end());
    // The index takes its final size now; its positions are known once the stream is laid out.
    if (const auto ext = find(globals, rt::ExtSst); ext < globals.size())
        globals[ext].data.resize(
            2 + 8 * ((places_.size() + addedPlaces_.size() + bucketSize() - 1) / bucketSize()));
}

// The strings a bucket of the index holds: as the file has it, unless the index would then outgrow
// its record.
std::size_t SharedStrings::bucketSize() const {
    const std::size_t strings = places_.size() + added_.size();
    std::size_t bucket = bucketSize_;
    while (2 + 8 * ((strings + bucket - 1) / bucket) > kMaxData) ++bucket;
    return bucket;
}

void SharedStrings::index(std::vector<Record>& globals, const std::vector<std::size_t>& positions) const {
    const std::size_t first = find(globals, rt::Sst), ext = find(globals, rt::ExtSst);
    if (first == globals.size() || ext == globals.size()) return;
    std::vector<Place> places = places_;
    places.insert(places.end(), addedPlaces_.begin(), addedPlaces_.end());
    const std::size_t bucket = bucketSize();
    std::string data;
    append16(data, static_cast<unsigned>(bucket));
    for (std::size_t s = 0; s < places.size(); s += bucket) {
        append32(data,
                 static_cast<std::uint32_t>(positions[first + places[s].record] + 4 + places[s].offset));
        append16(data, static_cast<unsigned>(4 + places[s].offset));
        append16(data, 0);
    }
    if (data.size() != globals[ext].data.size()) throw std::logic_error("EXTSST not sized for its buckets");
    globals[ext].data = std::move(data);
}

}  // namespace sheets::xls
