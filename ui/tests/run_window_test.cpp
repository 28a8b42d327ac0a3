#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/form1.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

struct SeenBox {
    bool isMessageBox = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    QStringList buttons;
    bool modal = false;
};

// Records the modal box and clicks the button with the given text.
SeenBox answer(QWidget& modal, const QString& click) {
    SeenBox seen;
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (!box) {
        modal.close();
        return seen;
    }
    seen.isMessageBox = true;
    seen.icon = box->icon();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.modal = box->isModal();
    QAbstractButton* target = nullptr;
    for (QAbstractButton* b : box->buttons()) {
        seen.buttons << b->text();
        if (b->text() == click) target = b;
    }
    if (target)
        target->click();
    else
        box->reject();
    return seen;
}

class RunWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::test::useWindowLook();
        form.show();
    }
    // Runs `body` as the run of a click of the start button.
    void run(std::function<void(run::RunWindow&)> body) {
        form.setRunner([&](const run::RunInputs&, run::KeyCondition&, run::RunWindow& w,
                           sheets::ApplicationFactory&) { body(w); });
        form.findChild<QPushButton*>(u"Command1"_s)->click();
    }

    ui::test::NoApplications factory;
    ui::Form1 form{factory};
};

TEST_F(RunWindowTest, MessageIsModalWithExclamationAndOneOk) {
    SeenBox seen;
    run([&](run::RunWindow& w) {
        ui::test::WhenModal close([&](QWidget& m) { seen = answer(m, u"确定"_s); });
        w.showMessage(u"请输入条件", u"提示");
    });
    EXPECT_TRUE(seen.isMessageBox);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.title, u"提示"_s);
    EXPECT_EQ(seen.text, u"请输入条件"_s);
    EXPECT_EQ(seen.buttons, QStringList{u"确定"_s});
    EXPECT_TRUE(seen.modal);
}

TEST_F(RunWindowTest, SaveQuestionNamesTheFileAndReturnsTheAnswer) {
    const struct {
        QString click;
        bool save;
    } cases[] = {{u"保存"_s, true}, {u"不保存"_s, false}, {QString(), false}};
    for (const auto& c : cases) {
        SeenBox seen;
        bool result = !c.save;
        run([&](run::RunWindow& w) {
            ui::test::WhenModal close([&](QWidget& m) { seen = answer(m, c.click); });
            result = w.askSaveChanges(u"结果.xls");
        });
        EXPECT_EQ(result, c.save) << c.click.toStdString();
        EXPECT_EQ(seen.text, u"是否保存对“结果.xls”的更改？"_s);
        EXPECT_EQ(seen.buttons.size(), 2);
        EXPECT_TRUE(seen.buttons.contains(u"保存"_s) && seen.buttons.contains(u"不保存"_s));
    }
}

TEST_F(RunWindowTest, DisablesOnlyTheFrameAndTheStartButton) {
    QWidget* frame = form.findChild<QWidget*>(u"Frame1"_s);
    QWidget* start = form.findChild<QWidget*>(u"Command1"_s);
    bool frameDuring = true, startDuring = true, inputDuring = true, outsideDuring = false;
    run([&](run::RunWindow& w) {
        w.setFrameEnabled(false);
        w.setStartEnabled(false);
        frameDuring = frame->isEnabled();
        startDuring = start->isEnabled();
        inputDuring = form.findChild<QWidget*>(u"Text3"_s)->isEnabled();
        outsideDuring = form.findChild<QWidget*>(u"Check1"_s)->isEnabled() &&
                        form.findChild<QWidget*>(u"Command4"_s)->isEnabled();
        w.setFrameEnabled(true);
        w.setStartEnabled(true);
    });
    EXPECT_FALSE(frameDuring);
    EXPECT_FALSE(startDuring);
    EXPECT_FALSE(inputDuring) << "inputs follow their frame";
    EXPECT_TRUE(outsideDuring);
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_TRUE(start->isEnabled());
}

TEST_F(RunWindowTest, ClipboardCarriesPlainText) {
    std::u16string afterSet, afterClear = u"x";
    const std::u16string result = u"父\t子\r值\r";
    run([&](run::RunWindow& w) {
        w.clipboard().setText(result);
        afterSet = w.clipboard().text();
        w.clipboard().clear();
        afterClear = w.clipboard().text();
    });
    EXPECT_EQ(afterSet, result);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString());
    EXPECT_EQ(afterClear, u"");
}

}  // namespace
