#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>

#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

struct SeenBox {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    QStringList buttons;
    bool modal = false;
};

class RunWindowTest : public ui::test::WindowTest {
protected:
    void SetUp() override { form.show(); }
    // Does `body` as the run of a click of the start button, answering its one box with `click`.
    SeenBox run(std::function<void(run::RunWindow&)> body, const QString& click = {}) {
        SeenBox seen;
        ui::test::WhenModal answer([&](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            if (!box) return modal.close(), void();
            seen = {box->icon(), box->windowTitle(), box->text(), {}, box->isModal()};
            QAbstractButton* target = nullptr;
            for (QAbstractButton* b : box->buttons()) {
                seen.buttons << b->text();
                if (b->text() == click) target = b;
            }
            target ? target->click() : box->reject();
        });
        form.setRunner([&](const run::RunInputs&, run::KeyCondition&, run::RunWindow& w,
                           sheets::ApplicationFactory&) { body(w); });
        child<QPushButton>(u"Command1"_s)->click();
        return seen;
    }
};

TEST_F(RunWindowTest, MessageIsModalWithExclamationAndOneOk) {
    const SeenBox seen = run([](run::RunWindow& w) { w.showMessage(u"请输入条件", u"提示"); }, u"确定"_s);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.title, u"提示"_s);
    EXPECT_EQ(seen.text, u"请输入条件"_s);
    EXPECT_EQ(seen.buttons, QStringList{u"确定"_s});
    EXPECT_TRUE(seen.modal);
}

TEST_F(RunWindowTest, SaveQuestionNamesTheFileAndReturnsTheAnswer) {
    for (const auto& [click, save] :
         {std::pair{u"保存"_s, true}, {u"不保存"_s, false}, {u"(closed)"_s, false}}) {
        bool result = !save;
        const SeenBox seen = run([&](run::RunWindow& w) { result = w.askSaveChanges(u"结果.xls"); }, click);
        EXPECT_EQ(result, save) << click.toStdString();
        EXPECT_EQ(seen.text, u"是否保存对“结果.xls”的更改？"_s);
        EXPECT_EQ(seen.buttons.size(), 2);
    }
}

TEST_F(RunWindowTest, FrameAndStartButtonFollowTheRunAndTheClipboardCarriesText) {
    bool inputEnabled = true, helpEnabled = false;
    std::u16string pasted, cleared = u"x";
    run([&](run::RunWindow& w) {
        w.setFrameEnabled(false);
        w.setStartEnabled(false);
        inputEnabled = child(u"Text3"_s)->isEnabled() || child(u"Command1"_s)->isEnabled();
        helpEnabled = child(u"Command4"_s)->isEnabled() && child(u"Check1"_s)->isEnabled();
        w.setFrameEnabled(true);
        w.setStartEnabled(true);
        w.clipboard().setText(u"父\t子\r值\r");
        pasted = w.clipboard().text();
        w.clipboard().clear();
        cleared = w.clipboard().text();
    });
    EXPECT_FALSE(inputEnabled);
    EXPECT_TRUE(helpEnabled);
    EXPECT_TRUE(child(u"Text3"_s)->isEnabled() && child(u"Command1"_s)->isEnabled());
    EXPECT_EQ(pasted, u"父\t子\r值\r");
    EXPECT_EQ(cleared, u"");
}

}  // namespace
