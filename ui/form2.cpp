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

    helpText_ = new QPlainTextEdit(this);
    place(helpText_, "Text1", 120, 120, 4965, 2655);
    helpText_->setReadOnly(true);
    helpText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    helpText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    helpText_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A text document makes a paragraph of every CR and every LF alike, so the lines go in by LF.
    helpText_->setPlainText(
        QString::fromStdU16String(std::u16string(helpText())).replace(u"\r\n"_s, u"\n"_s));

    makerLabel_ = new QLabel(u"Pellucor V2.1 父子表匹配工具"_s, this);
    place(makerLabel_, "Label3", 150, 2880, 3690, 240);
    contactLabel_ = new QLabel(u"联系：Pellucor 开发组"_s, this);
    place(contactLabel_, "Label1", 150, 3120, 3690, 210);
    dateLabel_ = new QLabel(u"2026年12月"_s, this);
    place(dateLabel_, "Label2", 150, 3330, 3690, 240);

    okButton_ = new QPushButton(u"确定(&O)"_s, this);
    place(okButton_, "Command1", 3960, 3030, 1125, 375);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace ui
