#include "table_generator.h"

#include <random>
#include <string>
#include <string_view>

namespace bench {
namespace {

// prefix, the number in decimal, suffix; built by appending (prefix + temporary trips GCC 12's
// -Wrestrict).
std::u16string label(std::u16string_view prefix, std::int64_t n, std::u16string_view suffix = {}) {
    std::u16string s(prefix);
    for (char c : std::to_string(n)) s.push_back(static_cast<char16_t>(c));
    s.append(suffix);
    return s;
}

// Key number k, distinct for every k; its kind (number, Latin, Chinese) is k modulo 3.
sheets::CellValue keyOf(std::int64_t k) {
    switch (k % 3) {
        case 0:
            return sheets::CellValue::number(static_cast<double>(100000 + k));
        case 1:
            return sheets::CellValue::text(label(u"K-", k));
        default:
            return sheets::CellValue::text(label(u"客户", k));
    }
}

sheets::CellValue valueOf(std::int64_t row, std::uint32_t kind) {
    switch (kind % 3) {
        case 0:
            return sheets::CellValue::number(static_cast<double>(row) * 1.5);
        case 1:
            return sheets::CellValue::text(label(u"V", row));
        default:
            return sheets::CellValue::text(label(u"产品", row, u"号"));
    }
}

}  // namespace

namespace {

// Key, name, date and amount; about 2 % of the keys empty, 10 % repeating an earlier one.
void fillParent(std::vector<std::vector<sheets::CellValue>>& parent, std::mt19937_64& rng,
                std::int64_t& nextKey) {
    const std::size_t n = parent[0].size();
    parent[0][0] = sheets::CellValue::text(u"编号");
    parent[1][0] = sheets::CellValue::text(u"名称");
    parent[2][0] = sheets::CellValue::text(u"日期");
    parent[3][0] = sheets::CellValue::text(u"金额");
    const auto dateFormat =
        std::make_shared<const sheets::NumberFormat>(sheets::NumberFormat{u"YYYY-MM-DD", u"en-US"});
    const auto amountFormat =
        std::make_shared<const sheets::NumberFormat>(sheets::NumberFormat{u"#,##0.00", u"en-US"});
    for (std::size_t r = 1; r < n; ++r) {
        const int p = static_cast<int>(rng() % 100);
        if (p < 2) {
            // empty key
        } else if (p < 12 && r > 1) {
            parent[0][r] = parent[0][1 + rng() % (r - 1)];
        } else {
            parent[0][r] = keyOf(nextKey++);
        }
        parent[1][r] = valueOf(static_cast<std::int64_t>(r), static_cast<std::uint32_t>(rng()));
        parent[2][r] = sheets::CellValue::date(40000.0 + static_cast<double>(r % 3650));
        parent[2][r].setFormat(dateFormat);
        parent[3][r] = sheets::CellValue::number(static_cast<double>(r) * 12.34);
        parent[3][r].setFormat(amountFormat);
    }
}

// Key and name: about 3 % of the keys empty, 70 % from the parent (half of those with the parent's
// name), the rest not in the parent, numbered after all the parent's keys.
void fillChild(Tables& t, std::mt19937_64& rng, std::int64_t missingKey) {
    const std::size_t n = t.child[0].size();
    t.child[0][0] = sheets::CellValue::text(u"编号");
    t.child[1][0] = sheets::CellValue::text(u"名称");
    for (std::size_t r = 1; r < n; ++r) {
        const int p = static_cast<int>(rng() % 100);
        const std::size_t from = 1 + rng() % (n > 1 ? n - 1 : 1);
        const bool fromParent =
            p >= 3 && p < 73 && from < n && t.parent[0][from].kind() != sheets::CellValue::Kind::Empty;
        if (p < 3) {
            // empty key
        } else if (fromParent) {
            t.child[0][r] = t.parent[0][from];
        } else {
            t.child[0][r] = keyOf(missingKey++);
        }
        if (fromParent && rng() % 100 < 50)
            t.child[1][r] = t.parent[1][from];
        else
            t.child[1][r] = sheets::CellValue::text(label(u"X", static_cast<std::int64_t>(r)));
    }
}

}  // namespace

Tables generateTables(std::int32_t rows, std::uint32_t seed) {
    std::mt19937_64 rng(seed);
    const auto n = static_cast<std::size_t>(rows);
    Tables t;
    t.parent.assign(4, std::vector<sheets::CellValue>(n));
    t.child.assign(2, std::vector<sheets::CellValue>(n));
    if (n == 0) return t;
    std::int64_t nextKey = 0;
    fillParent(t.parent, rng, nextKey);
    fillChild(t, rng, nextKey + 1000);
    return t;
}

}  // namespace bench
