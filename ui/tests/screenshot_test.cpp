// Layout checks and screenshots of both windows; run at 100 %, at Qt's 150 % scaling and for a
// 144 dpi screen (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <QtWidgets>

#include "ui/help_text.h"
#include "ui/twips.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

QStringList textsOf(const QWidget& w) {
    if (auto* l = qobject_cast<const QLabel*>(&w)) return {l->text()};
    if (auto* b = qobject_cast<const QAbstractButton*>(&w)) return {QString(b->text()).remove(u'&')};
    QStringList items;
    if (auto* c = qobject_cast<const QComboBox*>(&w))
        for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
    return items;
}

// The width a control has for its texts.
int room(QWidget& w) {
    if (qobject_cast<QPushButton*>(&w)) return w.width() - 8;
    if (qobject_cast<QAbstractButton*>(&w))  // less the indicator
        return w.width() - w.sizeHint().width() + w.fontMetrics().horizontalAdvance(textsOf(w).value(0));
    if (!qobject_cast<QComboBox*>(&w)) return w.width();
    QStyleOptionComboBox option;
    option.initFrom(&w);
    return w.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &w).width() -
           2;
}

using Layout = ui::test::WindowTest;

// Controls lie inside their container, apart from each other, wide enough for what they show, in a
// font that has every character.
TEST_F(Layout, ControlsFitWithoutOverlapOrClipping) {
    for (const char* list : {"Combo3", "Combo4", "Combo6"}) child<QComboBox>(list)->setCurrentIndex(1);
    const int dpi = form.logicalDpiX();
    EXPECT_EQ(form.size(), QSize(ui::twipsToPixels(5970, dpi), ui::twipsToPixels(4275, dpi)));
    EXPECT_EQ(child("Combo8")->mapTo(&form, QPoint()),
              QPoint(ui::twipsToPixels(3210 + 1470, dpi), ui::twipsToPixels(1950 + 180, dpi)));
    ui::Form2 help;
    QString texts = form.windowTitle() + help.windowTitle() + QStringView(ui::helpText()).toString();
    for (QWidget* window : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&help)}) {
        QList<QWidget*> all = window->findChildren<QWidget*>();
        all.removeIf([](QWidget* w) {  // the parts of Qt's own widgets
            return w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s) ||
                   w->parentWidget()->objectName().startsWith(u"qt_"_s);
        });
        for (QWidget* w : all) {
            const std::string name = w->objectName().toStdString();
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
            for (QWidget* other : all)
                EXPECT_FALSE(other != w && other->parentWidget() == w->parentWidget() &&
                             w->geometry().intersects(other->geometry()))
                    << name << " overlaps " << other->objectName().toStdString();
            for (const QString& t : textsOf(*w))
                EXPECT_LE(w->fontMetrics().horizontalAdvance(t), room(*w)) << name;
            EXPECT_GE(w->height(), w->fontMetrics().height()) << name;
            texts += textsOf(*w).join(QString()) + w->toolTip();
        }
    }
    const QRawFont raw = QRawFont::fromFont(ui::windowFont());
    EXPECT_EQ(raw.familyName(), u"WenQuanYi Micro Hei"_s);
    texts.removeIf([&](QChar c) { return !c.isPrint() || c == u' ' || raw.supportsCharacter(c); });
    EXPECT_EQ(texts, QString()) << "characters the font lacks";
}

void save(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("PELLUCOR_TEST_ARTIFACTS", QDir::tempPath());
    QDir().mkpath(dir);
    const QString path =
        QDir(dir).filePath(u"%1-%2dpi-x%3.png"_s.arg(name).arg(w.logicalDpiX()).arg(w.devicePixelRatioF()));
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
}

using Screenshots = ui::test::WindowTest;

TEST_F(Screenshots, BothWindowsAndTheFileDialog) {
    form.show();
    save(form, u"form1"_s);
    for (const char* list : {"Combo3", "Combo4", "Combo6"}) child<QComboBox>(list)->setCurrentIndex(1);
    child<QLineEdit>("Text1")->setText(u"/home/用户/工资/父表.xls"_s);
    child<QLineEdit>("Text4")->setText(u"??6*"_s);
    child<QLineEdit>("Text6")->setText(u"*3"_s);
    child<QComboBox>("Combo8")->setCurrentIndex(2);
    save(form, u"form1-all"_s);
    ui::Form2 help;
    help.show();
    save(help, u"form2"_s);
    ui::test::WhenModal dialog([](QWidget& modal) { save(modal, u"open-file-dialog"_s), modal.close(); });
    child<QPushButton>("Command2")->click();
}

}  // namespace
