#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "ui/form1.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

class Filters : public ::testing::Test {
protected:
    void SetUp() override {
        ui::test::useWindowLook();
        form.show();
        form.findChild<QComboBox*>(u"Combo3"_s)->setCurrentIndex(1);  // shows Text4
        form.findChild<QComboBox*>(u"Combo4"_s)->setCurrentIndex(1);  // shows Text6
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    QLineEdit* box(const QString& name) { return form.findChild<QLineEdit*>(name); }

    ui::test::NoApplications factory;
    ui::Form1 form{factory};
};

struct SheetCase {
    const char* name;
    std::function<void(QLineEdit&)> act;
    QString expected;
};

TEST_F(Filters, SheetNumberKeepsANumberWithoutPoint) {
    const auto typed = [](const char* keys) {
        return [keys](QLineEdit& b) {
            b.selectAll();
            QTest::keyClicks(&b, QString::fromLatin1(keys));
        };
    };
    const SheetCase cases[] = {
        {"cleared by backspace",
         [](QLineEdit& b) {
             b.selectAll();
             QTest::keyClick(&b, Qt::Key_Backspace);
         },
         u"1"_s},
        {"cleared by the program", [](QLineEdit& b) { b.clear(); }, u"1"_s},
        {"12 typed", typed("12"), u"12"_s},
        {"2.5 entered at once", [](QLineEdit& b) { b.setText(u"2.5"_s); }, u"1"_s},
        {"2. typed", typed("2."), u"1"_s},
        {"letters typed", typed("ab"), u"1"_s},
        {"signed with spaces", [](QLineEdit& b) { b.setText(u" -3 "_s); }, u" -3 "_s},
    };
    for (const char* name : {"Text3", "Text5"}) {
        for (const SheetCase& c : cases) {
            QLineEdit& b = *box(QString::fromLatin1(name));
            b.setText(u"7"_s);
            c.act(b);
            EXPECT_EQ(b.text(), c.expected) << name << ": " << c.name;
            EXPECT_EQ(b.cursorPosition(), b.text().size()) << name << ": " << c.name;
        }
    }
}

TEST_F(Filters, SheetNumberSelectsAllOnFocus) {
    for (const char* name : {"Text3", "Text5"}) {
        QLineEdit& b = *box(QString::fromLatin1(name));
        b.setText(u"12"_s);
        box(u"Text1"_s)->setFocus();
        QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(b.width() / 2, b.height() / 2));
        EXPECT_TRUE(b.hasFocus()) << name;
        EXPECT_EQ(b.selectedText(), u"12"_s) << name << " after a click";
        box(u"Text1"_s)->setFocus();
        b.setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(b.selectedText(), u"12"_s) << name << " after setFocus";
    }
}

struct ConditionCase {
    const char* name;
    QString before;  // set by the program
    std::function<void(QLineEdit&)> act;
    QString expected;
};

TEST_F(Filters, ConditionTakesOnlyDigitsAndWildcards) {
    const auto typed = [](QString keys) {
        return [keys](QLineEdit& b) {
            b.end(false);
            for (QChar c : keys) QTest::sendKeyEvent(QTest::Click, &b, Qt::Key_unknown, QString(c), {});
        };
    };
    const auto pasted = [](QString text) {
        return [text](QLineEdit& b) {
            QGuiApplication::clipboard()->setText(text);
            b.end(false);
            QTest::keyClick(&b, Qt::Key_V, Qt::ControlModifier);
        };
    };
    const ConditionCase cases[] = {
        {"letters", u""_s, typed(u"ab"_s), u""_s},
        {"spaces", u"1"_s, typed(u"  "_s), u"1"_s},
        {"full-width question mark", u""_s, typed(u"？"_s), u""_s},
        {"??6*", u""_s, typed(u"??6*"_s), u"??6*"_s},
        {"mixed", u""_s, typed(u"1a*b?"_s), u"1*?"_s},
        {"backspace", u"12"_s,
         [](QLineEdit& b) {
             b.end(false);
             QTest::keyClick(&b, Qt::Key_Backspace);
         },
         u"1"_s},
        {"pasted", u"2"_s, pasted(u"x3?*y？"_s), u"23?*"_s},
        {"pasted letters only", u"2"_s, pasted(u"abc"_s), u"2"_s},
        {"program text passes", u"ab*"_s, [](QLineEdit&) {}, u"ab*"_s},
        {"typing keeps program text", u"ab*"_s, typed(u"x5"_s), u"ab*5"_s},
        {"letter over a selection", u"12"_s,
         [](QLineEdit& b) {
             b.selectAll();
             QTest::keyClicks(&b, u"a"_s);
         },
         u"12"_s},
    };
    for (const char* name : {"Text4", "Text6"}) {
        for (const ConditionCase& c : cases) {
            QLineEdit& b = *box(QString::fromLatin1(name));
            b.setFocus();
            b.setText(c.before);
            c.act(b);
            EXPECT_EQ(b.text(), c.expected) << name << ": " << c.name;
        }
    }
}

}  // namespace
