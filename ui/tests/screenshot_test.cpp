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

#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/look.h"
#include "ui/twips.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

// Every text a control shows (list entries included).
QStringList textsOf(const QWidget& w) {
    if (auto* l = qobject_cast<const QLabel*>(&w)) return {l->text()};
    if (auto* b = qobject_cast<const QAbstractButton*>(&w)) return {QString(b->text()).remove(u'&')};
    if (auto* e = qobject_cast<const QLineEdit*>(&w)) return {e->text()};
    if (auto* c = qobject_cast<const QComboBox*>(&w)) {
        QStringList items;
        for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
        return items;
    }
    return {};
}

// Widgets that Qt's own widgets are made of.
bool isQtPart(const QWidget& w) {
    return w.objectName().isEmpty() || w.objectName().startsWith(u"qt_"_s) || !w.parentWidget() ||
           w.parentWidget()->objectName().isEmpty() || w.parentWidget()->objectName().startsWith(u"qt_"_s);
}

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        ui::test::useWindowLook();
        // Show everything that can be shown.
        for (int n : {3, 4, 6}) form1.findChild<QComboBox*>(u"Combo%1"_s.arg(n))->setCurrentIndex(1);
    }
    ui::test::NoApplications factory;
    ui::Form1 form1{factory};
    ui::Form2 form2;
};

// Controls lie inside their container, apart from each other, and wide enough for what they show.
TEST_F(Layout, ControlsFitWithoutOverlapOrClipping) {
    for (QWidget* window : {static_cast<QWidget*>(&form1), static_cast<QWidget*>(&form2)}) {
        const QList<QWidget*> all = window->findChildren<QWidget*>();
        for (QWidget* w : all) {
            if (isQtPart(*w)) continue;
            const std::string name = w->objectName().toStdString();
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
            for (QWidget* other : all)
                if (other != w && other->parentWidget() == w->parentWidget() && !isQtPart(*other) &&
                    w->objectName() < other->objectName()) {
                    EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                        << name << " overlaps " << other->objectName().toStdString();
                }
            const QFontMetrics metrics(w->font());
            int widest = 0;
            for (const QString& t : textsOf(*w)) widest = std::max(widest, metrics.horizontalAdvance(t));
            if (qobject_cast<QLabel*>(w)) {
                EXPECT_LE(widest, w->width()) << name;
            }
            if (qobject_cast<QPushButton*>(w)) {
                EXPECT_LE(widest + 8, w->width()) << name;
            } else if (qobject_cast<QAbstractButton*>(w)) {
                EXPECT_LE(w->sizeHint().width(), w->width()) << name;  // indicator and text
            }
            if (qobject_cast<QComboBox*>(w)) {
                QStyleOptionComboBox option;
                option.initFrom(w);
                const QRect field =
                    w->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, w);
                EXPECT_LE(widest + 2, field.width()) << name;
            }
            EXPECT_GE(w->height(), metrics.height()) << name;
        }
    }
}

TEST_F(Layout, PositionsFollowTheScreensDpi) {
    const int dpi = form1.logicalDpiX();
    const auto at = [&](const char* name) {
        QWidget* w = form1.findChild<QWidget*>(QString::fromLatin1(name));
        return w ? w->mapTo(&form1, QPoint(0, 0)) : QPoint(-1, -1);
    };
    const auto px = [dpi](int x, int y) {
        return QPoint(ui::twipsToPixels(x, dpi), ui::twipsToPixels(y, dpi));
    };
    EXPECT_EQ(form1.size(), QSize(ui::twipsToPixels(5970, dpi), ui::twipsToPixels(4275, dpi)));
    EXPECT_EQ(form1.minimumSize(), form1.maximumSize());
    EXPECT_EQ(at("Text1"), px(690, 240));
    EXPECT_EQ(at("Combo10"), px(4470, 3240));
    EXPECT_EQ(at("Command1"), px(4590, 3840));
    EXPECT_EQ(at("Combo8"), px(3210 + 1470, 1950 + 180)) << "within Frame2";
}

TEST_F(Layout, FontCoversEveryText) {
    const QRawFont raw = QRawFont::fromFont(ui::windowFont());
    EXPECT_EQ(raw.familyName(), u"WenQuanYi Micro Hei"_s);
    QStringList texts{form1.windowTitle(), form2.windowTitle(),
                      form2.findChild<QWidget*>(u"Text1"_s)->property("plainText").toString()};
    for (QWidget* w : form1.findChildren<QWidget*>()) texts << textsOf(*w) << w->toolTip();
    for (QWidget* w : form2.findChildren<QWidget*>()) texts << textsOf(*w);
    for (const QString& t : texts)
        for (QChar c : t)
            if (c.isPrint() && c != u' ') {
                EXPECT_TRUE(raw.supportsCharacter(c)) << QString(c).toStdString();
            }
}

void save(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("PELLUCOR_TEST_ARTIFACTS", QDir::tempPath());
    QDir().mkpath(dir);
    const QString tag = u"%1dpi-x%2"_s.arg(w.logicalDpiX()).arg(w.devicePixelRatioF());
    const QString path = QDir(dir).filePath(u"%1-%2.png"_s.arg(name, tag));
    EXPECT_TRUE(w.grab().save(path)) << path.toStdString();
}

TEST(Screenshots, BothWindows) {
    ui::test::useWindowLook();
    ui::test::NoApplications factory;
    ui::Form1 form1(factory);
    form1.show();
    save(form1, u"form1"_s);

    for (int n : {3, 4, 6}) form1.findChild<QComboBox*>(u"Combo%1"_s.arg(n))->setCurrentIndex(1);
    form1.findChild<QLineEdit*>(u"Text1"_s)->setText(u"/home/用户/工资/父表.xls"_s);
    form1.findChild<QLineEdit*>(u"Text4"_s)->setText(u"??6*"_s);
    form1.findChild<QLineEdit*>(u"Text6"_s)->setText(u"*3"_s);
    form1.findChild<QComboBox*>(u"Combo7"_s)->setCurrentIndex(1);
    form1.findChild<QComboBox*>(u"Combo8"_s)->setCurrentIndex(2);
    save(form1, u"form1-all"_s);

    ui::Form2 form2;
    form2.show();
    save(form2, u"form2"_s);
}

}  // namespace
