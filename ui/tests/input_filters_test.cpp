#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

using Action = std::function<void(QLineEdit&)>;

Action typed(const QString& keys) {
    return [keys](QLineEdit& b) {
        for (QChar c : keys) QTest::sendKeyEvent(QTest::Click, &b, Qt::Key_unknown, QString(c), {});
    };
}
Action replacedBy(const QString& keys) {
    return [keys](QLineEdit& b) {
        b.selectAll();
        typed(keys)(b);
    };
}
Action pasted(const QString& text) {
    return [text](QLineEdit& b) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(&b, Qt::Key_V, Qt::ControlModifier);
    };
}
const Action backspace = [](QLineEdit& b) { QTest::keyClick(&b, Qt::Key_Backspace); };
Action setByProgram(const QString& text) {
    return [text](QLineEdit& b) { b.setText(text); };
}

struct Case {
    const char* name;
    QString before;  // set by the program, caret at the end
    Action act;
    QString expected;
};

class Filters : public ui::test::WindowTest {
protected:
    void SetUp() override {
        form.show();
        child<QComboBox>(u"Combo3"_s)->setCurrentIndex(1);  // shows Text4
        child<QComboBox>(u"Combo4"_s)->setCurrentIndex(1);  // shows Text6
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void check(std::initializer_list<const char*> boxes, std::initializer_list<Case> cases) {
        for (const char* name : boxes) {
            QLineEdit& b = *child<QLineEdit>(QString::fromLatin1(name));
            for (const Case& c : cases) {
                b.setFocus();
                b.setText(c.before);
                c.act(b);
                EXPECT_EQ(b.text(), c.expected) << name << ": " << c.name;
            }
        }
    }
};

TEST_F(Filters, SheetNumberKeepsANumberWithoutPoint) {
    check({"Text3", "Text5"}, {
                                  {"cleared by backspace", u"7"_s, backspace, u"1"_s},
                                  {"cleared by the program", u"7"_s, setByProgram(u""_s), u"1"_s},
                                  {"12", u"7"_s, replacedBy(u"12"_s), u"12"_s},
                                  {"2.5 at once", u"7"_s, pasted(u"2.5"_s), u"1"_s},
                                  {"2.5 set by the program", u"7"_s, setByProgram(u"2.5"_s), u"1"_s},
                                  {"2 then a point", u"2"_s, typed(u"."_s), u"1"_s},
                                  {"letters", u"7"_s, replacedBy(u"ab"_s), u"1"_s},
                                  {"sign and spaces", u"7"_s, setByProgram(u" -3 "_s), u" -3 "_s},
                              });
    QLineEdit& b = *child<QLineEdit>(u"Text3"_s);
    b.setText(u"25"_s);
    b.setCursorPosition(0);
    QTest::keyClick(&b, Qt::Key_Delete);
    QTest::keyClick(&b, Qt::Key_Delete);
    EXPECT_EQ(b.text(), u"1"_s);
    EXPECT_EQ(b.cursorPosition(), 1) << "the caret goes behind the 1";
}

TEST_F(Filters, ConditionTakesOnlyDigitsAndWildcards) {
    check({"Text4", "Text6"}, {
                                  {"letters", u""_s, typed(u"ab"_s), u""_s},
                                  {"spaces", u"1"_s, typed(u"  "_s), u"1"_s},
                                  {"full-width question mark", u""_s, typed(u"？"_s), u""_s},
                                  {"??6*", u""_s, typed(u"??6*"_s), u"??6*"_s},
                                  {"mixed", u""_s, typed(u"1a*b?"_s), u"1*?"_s},
                                  {"backspace", u"12"_s, backspace, u"1"_s},
                                  {"pasted", u"2"_s, pasted(u"x3?*y？"_s), u"23?*"_s},
                                  {"pasted letters", u"2"_s, pasted(u"abc"_s), u"2"_s},
                                  {"set by the program", u""_s, setByProgram(u"ab*"_s), u"ab*"_s},
                                  {"typed after program text", u"ab*"_s, typed(u"x5"_s), u"ab*5"_s},
                                  {"letter over a selection", u"12"_s, replacedBy(u"a"_s), u"12"_s},
                              });
}

TEST_F(Filters, SheetNumberSelectsAllOnFocusAlsoByClick) {
    for (const char* name : {"Text3", "Text5"}) {
        QLineEdit& b = *child<QLineEdit>(QString::fromLatin1(name));
        b.setText(u"12"_s);
        child(u"Text1"_s)->setFocus();
        QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(b.width() / 2, b.height() / 2));
        EXPECT_EQ(b.selectedText(), u"12"_s) << name << " clicked";
        child(u"Text1"_s)->setFocus();
        b.setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(b.selectedText(), u"12"_s) << name << " focused by the program";
    }
}

}  // namespace
