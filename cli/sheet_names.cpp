#include "cli/sheet_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "sheets/failure.h"
#include "sheets/xlsx/workbook_reader.h"

namespace cli {

std::variant<int, std::string> sheetPosition(const std::string& path, const std::string& name) {
    std::string suffix = std::filesystem::path(path).extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (suffix != ".xlsx" && suffix != ".xlsm") return "按名称指定工作表只用于 .xlsx 和 .xlsm 文件，请用位置";
    try {
        const sheets::xlsx::WorkbookReader book(path, sheets::xlsx::NumberLocale::ZhCn);
        for (int position = 1; position <= book.sheetCount(); ++position)
            if (book.sheetName(position) == name) return position;
    } catch (const sheets::Failure& f) {
        std::cerr << "pellucor: reading the sheet names of " << path << ": " << f.what() << '\n';
        return "无法读取工作表的名称";
    }
    return "没有名为“" + name + "”的工作表";
}

}  // namespace cli
