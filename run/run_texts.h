#pragma once

#include <string_view>

namespace run {

// The texts of a run that the windows show too.

// What a workbook path box holds until a workbook is chosen; a run with it starts nothing.
inline constexpr std::u16string_view kNoFileChosen = u"C:\\";

// The box before the program ends after a failed run.
inline constexpr std::u16string_view kFailureText =
    u"操作错误，请检查Excel表是否正确或输入参数是否规范！请重新运行软件";
inline constexpr std::u16string_view kFailureTitle = u"错误提示";

}  // namespace run
