#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "ui/form1.h"
#include "ui/form2.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

class Form1Test : public ::testing::Test {
protected:
    void SetUp() override { ui::test::useWindowLook(); }
    template <typename T = QWidget>
    T* child(const QString& name) {
        T* w = form.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QComboBox* combo(int n) { return child<QComboBox>(u"Combo%1"_s.arg(n)); }

    ui::test::NoApplications factory;
    ui::Form1 form{factory};
};

QStringList entries(const QComboBox& c) {
    QStringList list;
    for (int i = 0; i < c.count(); ++i) list << c.itemText(i);
    return list;
}

TEST_F(Form1Test, DefaultsAfterLoad) {
    EXPECT_EQ(form.windowTitle(), u"Pellucor V2.1"_s);
    QStringList letters;
    for (char c = 'A'; c <= 'Z'; ++c) letters << QString(QLatin1Char(c));
    const QStringList kinds{u"全字匹配"_s, u"条件"_s};
    const QStringList lists[] = {letters,
                                 letters,
                                 kinds,
                                 kinds,
                                 letters,
                                 {u"作为结果"_s, u"进行匹配"_s},
                                 {u"匹配"_s, u"不匹配"_s},
                                 {u"父"_s, u"子"_s, u"父子"_s},
                                 letters,
                                 letters};
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(entries(*combo(n)), lists[n - 1]) << "Combo" << n;
        EXPECT_EQ(combo(n)->currentIndex(), 0) << "Combo" << n;
        EXPECT_FALSE(combo(n)->isEditable()) << "Combo" << n;
    }
    for (const char* path : {"Text1", "Text2", "Text7"}) {
        EXPECT_EQ(child<QLineEdit>(QString::fromLatin1(path))->text(), u"C:\\"_s) << path;
        EXPECT_TRUE(child<QLineEdit>(QString::fromLatin1(path))->isReadOnly()) << path;
    }
    for (const char* sheet : {"Text3", "Text5"}) {
        EXPECT_EQ(child<QLineEdit>(QString::fromLatin1(sheet))->text(), u"1"_s);
        EXPECT_EQ(child(QString::fromLatin1(sheet))->toolTip(), u"对应Excel绝对页"_s);
    }
    for (const char* condition : {"Text4", "Text6"}) {
        EXPECT_EQ(child<QLineEdit>(QString::fromLatin1(condition))->text(), QString());
        EXPECT_TRUE(child(QString::fromLatin1(condition))->isHidden()) << condition;
        EXPECT_EQ(child(QString::fromLatin1(condition))->toolTip(), u"通配符‘？’和‘*’,具体查看帮助"_s);
    }
    EXPECT_TRUE(child(u"Frame2"_s)->isHidden());
    EXPECT_TRUE(child<QRadioButton>(u"Option1_0"_s)->isChecked());
    EXPECT_FALSE(child<QCheckBox>(u"Check1"_s)->isChecked());
    EXPECT_EQ(child<QGroupBox>(u"Frame1"_s)->title(), QString());
    EXPECT_EQ(child<QGroupBox>(u"Frame2"_s)->title(), QString());
}

TEST_F(Form1Test, FramesHoldTheirControls) {
    QWidget* frame1 = child(u"Frame1"_s);
    QWidget* frame2 = child(u"Frame2"_s);
    for (const char* name : {"Check1", "Command4", "Command1", "Frame1"})
        EXPECT_EQ(child(QString::fromLatin1(name))->parentWidget(), &form) << name;
    for (const char* name : {"Combo7", "Combo8", "Label10", "Label11", "Label12"})
        EXPECT_EQ(child(QString::fromLatin1(name))->parentWidget(), frame2) << name;
    QStringList inFrame1{u"Frame2"_s,    u"Command2"_s,  u"Command3"_s, u"Command5"_s,
                         u"Option1_0"_s, u"Option1_1"_s, u"Option1_2"_s};
    for (int n = 1; n <= 7; ++n) inFrame1 << u"Text%1"_s.arg(n);
    for (int n : {1, 2, 3, 4, 5, 6, 9, 10}) inFrame1 << u"Combo%1"_s.arg(n);
    for (int n = 1; n <= 9; ++n) inFrame1 << u"Label%1"_s.arg(n);
    for (const QString& name : inFrame1) EXPECT_EQ(child(name)->parentWidget(), frame1) << name.toStdString();

    // One group: choosing another placement clears the first.
    QTest::mouseClick(child(u"Option1_2"_s), Qt::LeftButton, {},
                      QPoint(4, child(u"Option1_2"_s)->height() / 2));
    EXPECT_TRUE(child<QRadioButton>(u"Option1_2"_s)->isChecked());
    EXPECT_FALSE(child<QRadioButton>(u"Option1_0"_s)->isChecked());
}

TEST_F(Form1Test, ListsShowAndHideTheirControls) {
    struct Case {
        int list;
        const char* control;
    };
    for (const Case c : {Case{3, "Text4"}, Case{4, "Text6"}, Case{6, "Frame2"}}) {
        QWidget* shown = child(QString::fromLatin1(c.control));
        combo(c.list)->setCurrentIndex(1);
        EXPECT_FALSE(shown->isHidden()) << c.control;
        if (auto* box = qobject_cast<QLineEdit*>(shown)) box->setText(u"2*"_s);
        combo(c.list)->setCurrentIndex(0);
        EXPECT_TRUE(shown->isHidden()) << c.control;
        combo(c.list)->setCurrentIndex(1);
        if (auto* box = qobject_cast<QLineEdit*>(shown)) {
            EXPECT_EQ(box->text(), u"2*"_s) << "kept while hidden";
        }
    }
}

TEST_F(Form1Test, StartHandsTheRunASnapshotAndTheSharedCondition) {
    std::vector<run::RunInputs> seen;
    std::vector<run::KeyCondition*> conditions;
    form.setRunner(
        [&](const run::RunInputs& in, run::KeyCondition& kc, run::RunWindow&, sheets::ApplicationFactory& f) {
            EXPECT_EQ(&f, &factory);
            seen.push_back(in);
            conditions.push_back(&kc);
            kc.keyLength = std::int16_t(kc.keyLength + 6);
        });
    form.setFileChooser([](QWidget&) { return std::optional<QString>(u"/data/父表.xls"_s); });
    child<QPushButton>(u"Command2"_s)->click();
    child<QCheckBox>(u"Check1"_s)->setChecked(true);
    child<QLineEdit>(u"Text5"_s)->setText(u"3"_s);
    combo(1)->setCurrentIndex(2);
    combo(4)->setCurrentIndex(1);
    child<QLineEdit>(u"Text6"_s)->setText(u"*4"_s);
    combo(6)->setCurrentIndex(1);
    combo(8)->setCurrentIndex(2);
    combo(10)->setCurrentIndex(25);
    child<QRadioButton>(u"Option1_1"_s)->setChecked(true);

    child<QPushButton>(u"Command1"_s)->click();
    child<QPushButton>(u"Command1"_s)->click();

    ASSERT_EQ(seen.size(), 2u);
    const run::RunInputs& in = seen[0];
    EXPECT_TRUE(in.ignoreErrors);
    EXPECT_EQ(in.parentPath, u"/data/父表.xls");
    EXPECT_EQ(in.childPath, u"C:\\");
    EXPECT_EQ(in.parentSheet, u"1");
    EXPECT_EQ(in.childSheet, u"3");
    EXPECT_EQ(in.parentKeyColumn, 2);
    EXPECT_EQ(in.parentMatchKind, 0);
    EXPECT_EQ(in.childMatchKind, 1);
    EXPECT_EQ(in.childCondition, u"*4");
    EXPECT_EQ(in.matching, 1);
    EXPECT_EQ(in.whose, 2);
    EXPECT_FALSE(in.intoChildSheet);
    EXPECT_TRUE(in.intoNewWorkbook);
    EXPECT_EQ(in.thirdTargetColumn, 25);
    EXPECT_EQ(in.thirdTargetLetter, u"Z");
    EXPECT_EQ(in.childTargetLetter, u"A");
    EXPECT_EQ(conditions[0], conditions[1]);
    EXPECT_EQ(form.keyCondition().keyLength, 12) << "the condition outlives runs";
}

TEST_F(Form1Test, HelpWindowIsOneTopLevelInstance) {
    QPushButton* help = child<QPushButton>(u"Command4"_s);
    help->click();
    ui::Form2* first = form.helpWindow();
    ASSERT_NE(first, nullptr);
    help->click();
    EXPECT_EQ(form.helpWindow(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_FALSE(first->isModal());

    QPointer<ui::Form2> closed = first;
    first->findChild<QPushButton*>(u"Command1"_s)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()) << "closing destroys the help window";
    EXPECT_EQ(form.helpWindow(), nullptr);
    help->click();
    EXPECT_NE(form.helpWindow(), nullptr);
    EXPECT_TRUE(form.helpWindow()->isVisible());
}

TEST_F(Form1Test, ChosenPathLosesTrailingSpacesAndCancelKeepsTheText) {
    std::optional<QString> answer;
    form.setFileChooser([&](QWidget&) { return answer; });
    const struct {
        const char* button;
        const char* box;
    } choosers[] = {{"Command2", "Text1"}, {"Command3", "Text2"}, {"Command5", "Text7"}};
    for (const auto& c : choosers) {
        QLineEdit* box = child<QLineEdit>(QString::fromLatin1(c.box));
        answer.reset();
        child<QPushButton>(QString::fromLatin1(c.button))->click();
        EXPECT_EQ(box->text(), u"C:\\"_s) << c.box << " after cancel";
        answer = u"/home/用户/a b.xls   "_s;
        child<QPushButton>(QString::fromLatin1(c.button))->click();
        EXPECT_EQ(box->text(), u"/home/用户/a b.xls"_s) << c.box;
    }
}

TEST_F(Form1Test, FileDialogPicksAFullPathOrCancels) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"子表.xls"_s);
    QFile(file).open(QIODevice::WriteOnly);
    form.show();

    QString title, directory;
    QStringList filters;
    {
        ui::test::WhenModal typeName([&](QWidget& modal) {
            auto* dialog = qobject_cast<QFileDialog*>(&modal);
            if (!dialog) return modal.close(), void();
            title = dialog->windowTitle();
            directory = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            if (auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)) {
                name->setText(QDir::toNativeSeparators(file));
                QTest::keyClick(name, Qt::Key_Return);
            }
            if (dialog->isVisible()) dialog->reject();  // never hang the test
        });
        child<QPushButton>(u"Command3"_s)->click();
        EXPECT_TRUE(typeName.seen());
    }
    EXPECT_EQ(child<QLineEdit>(u"Text2"_s)->text(), QDir::toNativeSeparators(file));
    EXPECT_EQ(title, u"打开文件"_s);
    EXPECT_EQ(directory, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters[0], u"Excel文档 (*.xls)"_s);
    EXPECT_EQ(filters[1], u"所有支持的工作簿 (*.xls *.xlsx *.ods *.csv)"_s);

    ui::test::WhenModal cancel([](QWidget& modal) { static_cast<QDialog&>(modal).reject(); });
    child<QPushButton>(u"Command2"_s)->click();
    EXPECT_TRUE(cancel.seen());
    EXPECT_EQ(child<QLineEdit>(u"Text1"_s)->text(), u"C:\\"_s);
}

}  // namespace
