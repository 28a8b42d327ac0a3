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

Tables generateTables(std::int32_t rows, std::uint32_t seed) {
    std::mt19937_64 rng(seed);
    auto percent = [&] { return static_cast<int>(rng() % 100); };
    const auto n = static_cast<std::size_t>(rows);

    Tables t;
    t.parent.assign(4, std::vector<sheets::CellValue>(n));
    t.child.assign(2, std::vector<sheets::CellValue>(n));
    if (n == 0) return t;
    t.parent[0][0] = sheets::CellValue::text(u"编号");
    t.parent[1][0] = sheets::CellValue::text(u"名称");
    t.parent[2][0] = sheets::CellValue::text(u"日期");
    t.parent[3][0] = sheets::CellValue::text(u"金额");
    const auto dateFormat =
        std::make_shared<const sheets::NumberFormat>(sheets::NumberFormat{u"YYYY-MM-DD", u"en-US"});
    const auto amountFormat =
        std::make_shared<const sheets::NumberFormat>(sheets::NumberFormat{u"#,##0.00", u"en-US"});
    t.child[0][0] = sheets::CellValue::text(u"编号");
    t.child[1][0] = sheets::CellValue::text(u"名称");

    std::int64_t nextKey = 0;
    for (std::size_t r = 1; r < n; ++r) {
        const int p = percent();
        if (p < 2) {
            // empty key
        } else if (p < 12 && r > 1) {
            t.parent[0][r] = t.parent[0][1 + rng() % (r - 1)];
        } else {
            t.parent[0][r] = keyOf(nextKey++);
        }
        t.parent[1][r] = valueOf(static_cast<std::int64_t>(r), static_cast<std::uint32_t>(rng()));
        t.parent[2][r] = sheets::CellValue::date(40000.0 + static_cast<double>(r % 3650));
        t.parent[2][r].setFormat(dateFormat);
        t.parent[3][r] = sheets::CellValue::number(static_cast<double>(r) * 12.34);
        t.parent[3][r].setFormat(amountFormat);
    }

    // Keys that are not in the parent come after all the parent's key numbers.
    std::int64_t missingKey = nextKey + 1000;
    for (std::size_t r = 1; r < n; ++r) {
        const int p = percent();
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
        if (fromParent && percent() < 50)
            t.child[1][r] = t.parent[1][from];
        else
            t.child[1][r] = sheets::CellValue::text(label(u"X", static_cast<std::int64_t>(r)));
    }
    return t;
}

}  // namespace bench
