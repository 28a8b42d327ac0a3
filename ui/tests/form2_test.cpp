#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/form2.h"
#include "ui/help_text.h"

using namespace Qt::StringLiterals;

namespace {

// The help text, line by line, as the user is to read it.
const char16_t* const kHelpLines[] = {
    u"父表相当于参照表，子表属于父表的一部份。根据提供的",
    u"条件",
    u"子表去跟父表相匹配，结果父表不会发生改变，子表可以",
    u"发生",
    u"改变！",
    u"",
    u"1.\"指定页\"相当于Excel表里面的Sheet N，N不等于Excel",
    u"表示的对应页数，而是根据从左向右的推算，也即绝对页",
    u"。",
    u"",
    u"例如：Excel表里面是 统计页,工资页,月份页，统计页即",
    u"为",
    u"Sheet 1，工资页即为 sheet 2 如此计算。",
    u"",
    u"2.\"指定列\"也即是要对比的字段",
    u"3.[全字匹配]会自动去除两端空格",
    u"4.\"条件\"可以使用两个通配符(\uFF1F*)进行匹配,\"\uFF1F\"代表一",
    u"个字符，\"*\"代表多个字符。使用搭配有四种：(N*，*N，",
    u"\uFF1F",
    u"N*，*N\uFF1F)，\"\uFF1F\"可以使用多个，例如:??N*。\"N\"是表示长",
    u"度。",
    u"",
    u"例如：我们要把某列的第三个字符起的连续6个字符用来比",
    u"较，可以表示为：??6*",
    u"5.[进行匹配]用于将匹配的指定列再进行对应匹配,并且根",
    u"据",
    u"需要筛选出[父表、子表或父表跟子表]的符合值",
    u"",
    u"例如：  父表       /       子表",
    u"\t\t /",
    u"A列 | B列  |C列   /   A列 |  B列 | C列",
    u"_________________/___________________",
    u"A01 | 000  |111  /   A01 |  001 | 111",
    u"A02 | 111  |222  /   B01 |  111 | 222",
    u"A03 | 222  |333  /   A03 |  222 | 333",
    u"_________________/___________________",
    u"首先对父表A列跟子表A列进行匹配，如果匹配符合就匹配",
    u"相",
    u"应的B列，如果父表B列对应子表B列不同则可以将不同的两",
    u"表",
    u"值筛选出来。",
    u"V2.1 修复了部份Bug",
};

TEST(Form2Test, HelpTextIsTheFortyTwoLinesEachEndedByCrLf) {
    std::u16string expected;
    for (const char16_t* line : kHelpLines) expected += std::u16string(line) + u"\r\n";
    ASSERT_EQ(std::size(kHelpLines), 42u);
    EXPECT_EQ(ui::helpText(), expected);

    ui::Form2 form;
    auto* text = form.findChild<QPlainTextEdit*>(u"Text1"_s);
    ASSERT_NE(text, nullptr);
    const QStringList shown = text->toPlainText().split(u'\n');
    ASSERT_EQ(shown.size(), 43) << "42 lines and the empty one after the last line end";
    for (int i = 0; i < 42; ++i) EXPECT_EQ(shown[i], QString::fromUtf16(kHelpLines[i])) << "line " << i + 1;
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(form.findChild<QPushButton*>(u"Command1"_s)->text(), u"确定(&O)"_s);
}

}  // namespace
