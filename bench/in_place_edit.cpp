#include "in_place_edit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sheets/failure.h"
#include "sheets/utf8.h"

namespace bench {
namespace {

sheets::CellValue parseValue(const std::string& v) {
    const auto body = v.size() > 2 ? v.substr(2) : std::string();
    switch (v.empty() ? 'e' : v[0]) {
        case 'n':
            return sheets::CellValue::number(std::strtod(body.c_str(), nullptr));
        case 't':
            return sheets::CellValue::text(sheets::fromUtf8(body));
        case 'd':
            return sheets::CellValue::date(std::strtod(body.c_str(), nullptr));
        case 'b':
            return sheets::CellValue::boolean(body == "1");
        case 'f': {
            const auto colon = body.find(':');
            auto value = sheets::CellValue::number(std::strtod(body.substr(0, colon).c_str(), nullptr));
            value.setFormat(std::make_shared<sheets::NumberFormat>(
                sheets::NumberFormat{sheets::fromUtf8(body.substr(colon + 1)), u"en-US"}));
            return value;
        }
        default:
            return {};
    }
}

void addRows(sheets::SheetEdit& edit, long count) {
    for (long r = 0; r < count; ++r) {
        const auto text = u"客户" + std::u16string(1, static_cast<char16_t>(u'0' + r % 10));
        edit.cells.cells.push_back(r % 10 == 9  ? sheets::CellValue::date(45000 + r % 365)
                                   : r % 2 == 0 ? sheets::CellValue::text(text)
                                                : sheets::CellValue::number(static_cast<double>(r) * 1.5));
    }
}

}  // namespace

int editInPlace(int argc, char** argv,
                const std::function<void(const std::string&, const sheets::WorkbookEdit&)>& apply) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE SHEET AT COUNT [n:1|t:text|d:45000|b:1|e|f:1.5:0.00 ...]\n",
                     argv[0]);
        return 2;
    }
    sheets::WorkbookEdit target;
    target.sheetPosition = std::atoi(argv[2]);
    sheets::SheetEdit& edit = target.edit;
    edit.insertAt = std::atoi(argv[3]);
    edit.insertCount = std::atoi(argv[4]);
    edit.firstColumn = edit.insertAt > 0 ? edit.insertAt : 1;
    if (argc == 7 && std::string(argv[5]) == "--rows")
        addRows(edit, std::atol(argv[6]));
    else
        for (int i = 5; i < argc; ++i) edit.cells.cells.push_back(parseValue(argv[i]));
    const auto start = std::chrono::steady_clock::now();
    try {
        apply(argv[1], target);
    } catch (const sheets::Unsupported& e) {
        std::printf("unsupported: %s\n", e.what());
        return 3;
    } catch (const std::exception& e) {
        std::printf("failure: %s\n", e.what());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("written in %.3f s\n", took.count());
    return 0;
}

}  // namespace bench
