#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

// How a case's input reaches the box, whose text the program has set before (caret at the end).
enum How { Typed, OverAll, Pasted, ByProgram, Backspace, DeletedAtFront };

struct Case {
    How how;
    QString before, input, expected;
};

class Filters : public ui::test::WindowTest {
protected:
    void SetUp() override {
        form.show();
        child<QComboBox>("Combo3")->setCurrentIndex(1);  // shows Text4
        child<QComboBox>("Combo4")->setCurrentIndex(1);  // shows Text6
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void check(std::initializer_list<const char*> boxes, std::initializer_list<Case> cases) {
        for (const char* name : boxes) {
            QLineEdit& b = *child<QLineEdit>(name);
            for (const auto& [how, before, input, expected] : cases) {
                b.setFocus();
                b.setText(before);
                if (how == ByProgram) b.setText(input);
                if (how == OverAll) b.selectAll();
                if (how == Backspace) QTest::keyClick(&b, Qt::Key_Backspace);
                if (how == DeletedAtFront) {
                    b.setCursorPosition(0);
                    for (int i = 0; i < before.size(); ++i) QTest::keyClick(&b, Qt::Key_Delete);
                }
                if (how == Pasted) QGuiApplication::clipboard()->setText(input);
                if (how == Pasted) QTest::keyClick(&b, Qt::Key_V, Qt::ControlModifier);
                for (QChar c : how == Pasted || how == ByProgram ? QString() : input)
                    QTest::sendKeyEvent(QTest::Click, &b, Qt::Key_unknown, QString(c), {});
                EXPECT_EQ(b.text(), expected) << name << " " << how << " " << input.toStdString();
            }
        }
    }
};

TEST_F(Filters, SheetNumberKeepsANumberWithoutPoint) {
    check({"Text3", "Text5"}, {{Backspace, u"7"_s, {}, u"1"_s},
                               {DeletedAtFront, u"25"_s, u"3"_s, u"13"_s},  // the caret went behind the 1
                               {ByProgram, u"7"_s, {}, u"1"_s},
                               {OverAll, u"7"_s, u"12"_s, u"12"_s},
                               {Typed, u"1"_s, u"05"_s, u"105"_s},
                               {Pasted, u"7"_s, u"2.5"_s, u"1"_s},
                               {ByProgram, u"7"_s, u"2.5"_s, u"1"_s},
                               {Typed, u"2"_s, u"."_s, u"1"_s},
                               {OverAll, u"7"_s, u"ab"_s, u"1"_s},
                               {ByProgram, u"7"_s, u" -3 "_s, u" -3 "_s}});
}

TEST_F(Filters, ConditionTakesOnlyDigitsAndWildcards) {
    check({"Text4", "Text6"}, {{Typed, {}, u"1a*b?"_s, u"1*?"_s},
                               {Typed, u"1"_s, u"  "_s, u"1"_s},
                               {Typed, {}, u"？"_s, {}},
                               {Typed, {}, u"??6*"_s, u"??6*"_s},
                               {Backspace, u"12"_s, {}, u"1"_s},
                               {Pasted, u"2"_s, u"x3?*y？"_s, u"23?*"_s},
                               {ByProgram, {}, u"ab*"_s, u"ab*"_s},
                               {Typed, u"ab*"_s, u"x5"_s, u"ab*5"_s},
                               {OverAll, u"12"_s, u"a"_s, u"12"_s}});
}

TEST_F(Filters, SheetNumberSelectsAllOnFocusAlsoByClick) {
    for (const char* name : {"Text3", "Text5"}) {
        QLineEdit& b = *child<QLineEdit>(name);
        b.setText(u"12"_s);
        child("Text1")->setFocus();
        QTest::mouseClick(&b, Qt::LeftButton, {}, b.rect().center());
        EXPECT_EQ(b.selectedText(), u"12"_s) << name << " clicked";
        child("Text1")->setFocus();
        b.setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(b.selectedText(), u"12"_s) << name << " focused by the program";
    }
}

}  // namespace
