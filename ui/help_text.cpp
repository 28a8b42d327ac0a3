#include "ui/help_text.h"

namespace ui {

std::u16string_view helpText() {
    // Each line ends with CR LF, the last one included. The breaks are those of the original text box
    // and fall inside words here and there.
    static constexpr std::u16string_view text =
        u"父表相当于参照表，子表属于父表的一部份。根据提供的\r\n"
        u"条件\r\n"
        u"子表去跟父表相匹配，结果父表不会发生改变，子表可以\r\n"
        u"发生\r\n"
        u"改变！\r\n"
        u"\r\n"
        u"1.\"指定页\"相当于Excel表里面的Sheet N，N不等于Excel\r\n"
        u"表示的对应页数，而是根据从左向右的推算，也即绝对页\r\n"
        u"。\r\n"
        u"\r\n"
        u"例如：Excel表里面是 统计页,工资页,月份页，统计页即\r\n"
        u"为\r\n"
        u"Sheet 1，工资页即为 sheet 2 如此计算。\r\n"
        u"\r\n"
        u"2.\"指定列\"也即是要对比的字段\r\n"
        u"3.[全字匹配]会自动去除两端空格\r\n"
        u"4.\"条件\"可以使用两个通配符(？*)进行匹配,\"？\"代表一\r\n"
        u"个字符，\"*\"代表多个字符。使用搭配有四种：(N*，*N，\r\n"
        u"？\r\n"
        u"N*，*N？)，\"？\"可以使用多个，例如:??N*。\"N\"是表示长\r\n"
        u"度。\r\n"
        u"\r\n"
        u"例如：我们要把某列的第三个字符起的连续6个字符用来比\r\n"
        u"较，可以表示为：??6*\r\n"
        u"5.[进行匹配]用于将匹配的指定列再进行对应匹配,并且根\r\n"
        u"据\r\n"
        u"需要筛选出[父表、子表或父表跟子表]的符合值\r\n"
        u"\r\n"
        u"例如：  父表       /       子表\r\n"
        u"\t\t /\r\n"
        u"A列 | B列  |C列   /   A列 |  B列 | C列\r\n"
        u"_________________/___________________\r\n"
        u"A01 | 000  |111  /   A01 |  001 | 111\r\n"
        u"A02 | 111  |222  /   B01 |  111 | 222\r\n"
        u"A03 | 222  |333  /   A03 |  222 | 333\r\n"
        u"_________________/___________________\r\n"
        u"首先对父表A列跟子表A列进行匹配，如果匹配符合就匹配\r\n"
        u"相\r\n"
        u"应的B列，如果父表B列对应子表B列不同则可以将不同的两\r\n"
        u"表\r\n"
        u"值筛选出来。\r\n"
        u"V2.1 修复了部份Bug\r\n";
    return text;
}

}  // namespace ui
