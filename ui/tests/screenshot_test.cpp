// Layout checks and screenshots of both windows; run at 100 %, at Qt's 150 % scaling and for a
// 144 dpi screen (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRawFont>
#include <QStyleOptionComboBox>

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

// The widgets Qt's own widgets are made of.
bool isQtPart(const QWidget& w) {
    const auto inner = [](const QWidget* x) {
        return !x || x->objectName().isEmpty() || x->objectName().startsWith(u"qt_"_s);
    };
    return inner(&w) || inner(w.parentWidget());
}

class Layout : public ui::test::WindowTest {
protected:
    void SetUp() override {
        for (int n : {3, 4, 6}) child<QComboBox>(u"Combo%1"_s.arg(n))->setCurrentIndex(1);  // show all
    }
    ui::Form2 help;
};

// Controls lie inside their container, apart from each other, and wide enough for what they show.
TEST_F(Layout, ControlsFitWithoutOverlapOrClipping) {
    const int dpi = form.logicalDpiX();
    EXPECT_EQ(form.size(), QSize(ui::twipsToPixels(5970, dpi), ui::twipsToPixels(4275, dpi)));
    EXPECT_EQ(child(u"Combo8"_s)->mapTo(&form, QPoint()),
              QPoint(ui::twipsToPixels(3210 + 1470, dpi), ui::twipsToPixels(1950 + 180, dpi)));
    for (QWidget* window : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&help)}) {
        const QList<QWidget*> all = window->findChildren<QWidget*>();
        for (QWidget* w : all) {
            if (isQtPart(*w)) continue;
            const std::string name = w->objectName().toStdString();
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
            for (QWidget* other : all) {
                if (other->parentWidget() == w->parentWidget() && !isQtPart(*other) &&
                    w->objectName() < other->objectName()) {
                    EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                        << name << " overlaps " << other->objectName().toStdString();
                }
            }
            const QFontMetrics metrics(w->font());
            int widest = 0;
            for (const QString& t : textsOf(*w)) widest = std::max(widest, metrics.horizontalAdvance(t));
            int room = w->width();
            if (qobject_cast<QPushButton*>(w)) {
                room -= 8;
            } else if (qobject_cast<QAbstractButton*>(w)) {
                room -=
                    w->sizeHint().width() - metrics.horizontalAdvance(textsOf(*w).value(0));  // the indicator
            } else if (qobject_cast<QComboBox*>(w)) {
                QStyleOptionComboBox option;
                option.initFrom(w);
                room = w->style()
                           ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w)
                           .width() -
                       2;
            }
            EXPECT_LE(widest, room) << name;
            EXPECT_GE(w->height(), metrics.height()) << name;
        }
    }
}

TEST_F(Layout, FontCoversEveryText) {
    const QRawFont raw = QRawFont::fromFont(ui::windowFont());
    EXPECT_EQ(raw.familyName(), u"WenQuanYi Micro Hei"_s);
    QStringList texts{form.windowTitle(), help.windowTitle(),
                      QString::fromStdU16String(std::u16string(ui::helpText()))};
    for (QWidget* w : form.findChildren<QWidget*>() + help.findChildren<QWidget*>())
        texts << textsOf(*w) << w->toolTip();
    QString missing;
    for (const QString& t : texts)
        for (QChar c : t)
            if (c.isPrint() && c != u' ' && !raw.supportsCharacter(c)) missing += c;
    EXPECT_EQ(missing, QString());
}

void save(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("PELLUCOR_TEST_ARTIFACTS", QDir::tempPath());
    QDir().mkpath(dir);
    const QString path =
        QDir(dir).filePath(u"%1-%2dpi-x%3.png"_s.arg(name).arg(w.logicalDpiX()).arg(w.devicePixelRatioF()));
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
}

using Screenshots = ui::test::WindowTest;

TEST_F(Screenshots, BothWindows) {
    form.show();
    save(form, u"form1"_s);
    for (int n : {3, 4, 6}) child<QComboBox>(u"Combo%1"_s.arg(n))->setCurrentIndex(1);
    child<QLineEdit>(u"Text1"_s)->setText(u"/home/用户/工资/父表.xls"_s);
    child<QLineEdit>(u"Text4"_s)->setText(u"??6*"_s);
    child<QLineEdit>(u"Text6"_s)->setText(u"*3"_s);
    child<QComboBox>(u"Combo7"_s)->setCurrentIndex(1);
    child<QComboBox>(u"Combo8"_s)->setCurrentIndex(2);
    save(form, u"form1-all"_s);
    ui::Form2 help;
    help.show();
    save(help, u"form2"_s);
}

}  // namespace
