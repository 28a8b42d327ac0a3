#pragma once

// Small .xls files for the tests: BIFF8 records laid out in a Workbook stream, and a compound file
// (version 3) holding it beside other streams and a storage, each at least one regular sector long.
#include <cstdint>
#include <string>
#include <vector>

namespace sheets::xls::testing {

inline std::string u16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
inline std::string u32(std::uint32_t v) {
    return u16(v & 0xFFFF) + u16(v >> 16);
}
inline std::string text(const std::string& s) {
    return u16(static_cast<unsigned>(s.size())) + '\0' + s;
}

struct Rec {
    std::uint16_t type;
    std::string data;
};

inline std::string bytesOf(const std::vector<Rec>& records) {
    std::string out;
    for (const auto& r : records) out += u16(r.type) + u16(static_cast<unsigned>(r.data.size())) + r.data;
    return out;
}

struct SheetSpec {
    std::string name;
    std::vector<Rec> records;  // between its BOF and EOF
};

// The globals (`before` the sheets' BOUNDSHEET records, `after` them), then the sheets.
inline std::string workbookStream(const std::vector<Rec>& before, const std::vector<Rec>& after,
                                  const std::vector<SheetSpec>& sheets) {
    const Rec bof5{0x0809, u16(0x0600) + u16(0x0005) + u32(0) + u32(0) + u32(0x0600)};
    std::size_t globalsSize = bytesOf({bof5}).size() + bytesOf(before).size() + bytesOf(after).size() + 4;
    for (const auto& s : sheets) globalsSize += 4 + 8 + s.name.size();
    std::vector<Rec> globals{bof5};
    globals.insert(globals.end(), before.begin(), before.end());
    std::string body;
    std::size_t position = globalsSize;
    for (const auto& s : sheets) {
        globals.push_back({0x0085, u32(static_cast<std::uint32_t>(position)) + std::string(2, '\0') +
                                       static_cast<char>(s.name.size()) + '\0' + s.name});
        std::vector<Rec> records{{0x0809, u16(0x0600) + u16(0x0010) + u32(0) + u32(0) + u32(0x0600)}};
        records.insert(records.end(), s.records.begin(), s.records.end());
        records.push_back({0x000A, ""});
        body += bytesOf(records);
        position = globalsSize + body.size();
    }
    globals.insert(globals.end(), after.begin(), after.end());
    globals.push_back({0x000A, ""});
    return bytesOf(globals) + body;
}

struct Entry {
    std::u16string name;
    std::string data;                  // a stream's content
    std::vector<Entry> children = {};  // a storage's entries
    bool storage = false;
};

// A version 3 compound file: `rootChildren` in regular sectors (each at least 4096 bytes long),
// then `small` root streams (below 4096 bytes) in the mini stream.
inline std::string compoundFile(const std::vector<Entry>& rootChildren,
                                const std::vector<Entry>& small = {}) {
    constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFat = 0xFFFFFFFD;
    struct Flat {
        const Entry* entry;
        std::uint32_t child = kFree, right = kFree, start = kEnd;
    };
    std::vector<Flat> flat{{nullptr}};
    const auto add = [&](const auto& self, const std::vector<Entry>& children, std::size_t parent) -> void {
        std::size_t previous = 0;
        for (const auto& e : children) {
            const auto index = flat.size();
            flat.push_back({&e});
            if (previous)
                flat[previous].right = static_cast<std::uint32_t>(index);
            else
                flat[parent].child = static_cast<std::uint32_t>(index);
            previous = index;
            if (e.storage) self(self, e.children, index);
        }
    };
    std::vector<Entry> all = rootChildren;
    all.insert(all.end(), small.begin(), small.end());
    add(add, all, 0);
    std::vector<std::uint32_t> fat, miniFat;
    std::string miniStream;
    for (auto& f : flat) {
        if (!f.entry || f.entry->storage || f.entry->data.size() >= 4096) continue;
        f.start = static_cast<std::uint32_t>(miniFat.size());
        const std::size_t count = (f.entry->data.size() + 63) / 64;
        for (std::size_t k = 0; k < count; ++k)
            miniFat.push_back(k + 1 < count ? f.start + static_cast<std::uint32_t>(k) + 1 : kEnd);
        miniStream += f.entry->data + std::string(count * 64 - f.entry->data.size(), '\0');
    }
    std::string sectors;
    const auto chain = [&](const std::string& data) {
        const auto first = static_cast<std::uint32_t>(fat.size());
        const std::size_t count = (data.size() + 511) / 512;
        for (std::size_t k = 0; k < count; ++k)
            fat.push_back(k + 1 < count ? first + static_cast<std::uint32_t>(k) + 1 : kEnd);
        sectors += data + std::string(count * 512 - data.size(), '\0');
        return first;
    };
    for (auto& f : flat)
        if (f.entry && !f.entry->storage && f.entry->data.size() >= 4096) f.start = chain(f.entry->data);
    const std::uint32_t miniStart = miniStream.empty() ? kEnd : chain(miniStream);
    miniFat.resize((miniFat.size() + 127) / 128 * 128, kFree);
    std::string miniTable;
    for (const auto v : miniFat) miniTable += u32(v);
    const std::uint32_t miniFatStart = miniTable.empty() ? kEnd : chain(miniTable);
    flat[0].start = miniStart;
    std::string directory;
    for (const auto& f : flat) {
        std::string e(128, '\0');
        const std::u16string name = f.entry ? f.entry->name : u"Root Entry";
        for (std::size_t i = 0; i < name.size(); ++i) e.replace(2 * i, 2, u16(name[i]));
        e.replace(64, 2, u16(static_cast<unsigned>(2 * name.size() + 2)));
        e[66] = static_cast<char>(!f.entry ? 5 : f.entry->storage ? 1 : 2);
        e[67] = 1;
        e.replace(68, 12, u32(kFree) + u32(f.right) + u32(f.child));
        if (!f.entry || f.entry->storage)
            e.replace(80, 16, std::string(16, static_cast<char>(0x5A)));  // a class id
        if (f.entry && f.entry->storage)
            e.replace(96, 20, u32(0x1234) + std::string(16, static_cast<char>(0x33)));
        const std::size_t size = !f.entry ? miniStream.size() : f.entry->storage ? 0 : f.entry->data.size();
        e.replace(116, 8, u32(f.start) + u32(static_cast<std::uint32_t>(size)));
        directory += e;
    }
    const std::uint32_t directoryStart = chain(directory);
    std::size_t fatSectors = 1;
    while ((fat.size() + fatSectors) > fatSectors * 128) ++fatSectors;
    const auto fatStart = static_cast<std::uint32_t>(fat.size());
    for (std::size_t k = 0; k < fatSectors; ++k) fat.push_back(kFat);
    fat.resize(fatSectors * 128, kFree);
    for (const auto v : fat) sectors += u32(v);
    std::string header = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(16, '\0') +
                         u16(0x3E) + u16(3) + u16(0xFFFE) + u16(9) + u16(6) + std::string(10, '\0') +
                         u32(static_cast<std::uint32_t>(fatSectors)) + u32(directoryStart) + u32(0) +
                         u32(4096) + u32(miniFatStart) +
                         u32(static_cast<std::uint32_t>(miniTable.size() / 512)) + u32(kEnd) + u32(0);
    for (std::size_t k = 0; k < 109; ++k)
        header += u32(k < fatSectors ? fatStart + static_cast<std::uint32_t>(k) : kFree);
    return header + sectors;
}

}  // namespace sheets::xls::testing
