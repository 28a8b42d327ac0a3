#include "ui/form2.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/help_text.h"
#include "ui/look.h"
#include "ui/twips.h"

using namespace Qt::StringLiterals;

namespace ui {

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(u"Form2"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"帮助(Kavo系列)"_s);
    setFont(windowFont());
    const int dpi = logicalDpiX();
    const auto place = [dpi](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QLatin1StringView(name));
        w->setGeometry(twipsRect(left, top, width, height, dpi));
    };
    setFixedSize(twipsToPixels(5175, dpi), twipsToPixels(3570, dpi));

    Text1 = new QPlainTextEdit(this);
    place(Text1, "Text1", 120, 120, 4965, 2655);
    Text1->setReadOnly(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A text document makes a paragraph of every CR and every LF alike, so the lines go in by LF.
    Text1->setPlainText(QString::fromStdU16String(std::u16string(helpText())).replace(u"\r\n"_s, u"\n"_s));

    Label3 = new QLabel(u"Pellucor V2.1 父子表匹配工具"_s, this);
    place(Label3, "Label3", 150, 2880, 3690, 240);
    Label1 = new QLabel(u"联系：Pellucor 开发组"_s, this);
    place(Label1, "Label1", 150, 3120, 3690, 210);
    Label2 = new QLabel(u"2026年12月"_s, this);
    place(Label2, "Label2", 150, 3330, 3690, 240);

    Command1 = new QPushButton(u"确定(&O)"_s, this);
    place(Command1, "Command1", 3960, 3030, 1125, 375);
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace ui
