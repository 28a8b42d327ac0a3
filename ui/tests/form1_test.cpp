#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

using Form1Test = ui::test::WindowTest;

TEST_F(Form1Test, DefaultsAfterLoad) {
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
        QComboBox* list = child<QComboBox>(u"Combo%1"_s.arg(n));
        QStringList entries;
        for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
        EXPECT_EQ(entries, lists[n - 1]) << "Combo" << n;
        EXPECT_EQ(list->currentIndex(), 0) << "Combo" << n;
    }
    for (const char* path : {"Text1", "Text2", "Text7"})
        EXPECT_EQ(child<QLineEdit>(QString::fromLatin1(path))->text(), u"C:\\"_s) << path;
    EXPECT_EQ(child<QLineEdit>(u"Text3"_s)->text(), u"1"_s);
    EXPECT_EQ(child<QLineEdit>(u"Text5"_s)->text(), u"1"_s);
    for (const char* hidden : {"Text4", "Text6", "Frame2"})
        EXPECT_TRUE(child(QString::fromLatin1(hidden))->isHidden()) << hidden;
    EXPECT_TRUE(child<QRadioButton>(u"Option1_0"_s)->isChecked());
    EXPECT_FALSE(child<QCheckBox>(u"Check1"_s)->isChecked());
    // A run disables Frame1; the bottom row stays outside it.
    for (const char* outside : {"Check1", "Command4", "Command1"})
        EXPECT_EQ(child(QString::fromLatin1(outside))->parentWidget(), &form) << outside;
    EXPECT_EQ(child(u"Frame2"_s)->parentWidget(), child(u"Frame1"_s));
    child<QRadioButton>(u"Option1_2"_s)->click();
    EXPECT_FALSE(child<QRadioButton>(u"Option1_0"_s)->isChecked()) << "one group";
}

TEST_F(Form1Test, ListsShowAndHideTheirControls) {
    for (const auto& [list, control] :
         {std::pair{"Combo3", "Text4"}, {"Combo4", "Text6"}, {"Combo6", "Frame2"}}) {
        QComboBox* c = child<QComboBox>(QString::fromLatin1(list));
        QWidget* shown = child(QString::fromLatin1(control));
        c->setCurrentIndex(1);
        EXPECT_FALSE(shown->isHidden()) << control;
        if (auto* box = qobject_cast<QLineEdit*>(shown)) box->setText(u"2*"_s);
        c->setCurrentIndex(0);
        EXPECT_TRUE(shown->isHidden()) << control;
        if (auto* box = qobject_cast<QLineEdit*>(shown)) {
            EXPECT_EQ(box->text(), u"2*"_s) << "kept while hidden";
        }
    }
}

TEST_F(Form1Test, StartHandsEveryRunTheInputsAndTheSameCondition) {
    std::vector<run::RunInputs> seen;
    form.setRunner(
        [&](const run::RunInputs& in, run::KeyCondition& kc, run::RunWindow&, sheets::ApplicationFactory& f) {
            EXPECT_EQ(&f, &factory);
            seen.push_back(in);
            kc.keyLength = std::int16_t(kc.keyLength + 6);
        });
    child<QCheckBox>(u"Check1"_s)->setChecked(true);
    child<QLineEdit>(u"Text5"_s)->setText(u"3"_s);
    child<QComboBox>(u"Combo1"_s)->setCurrentIndex(2);
    child<QComboBox>(u"Combo4"_s)->setCurrentIndex(1);
    child<QLineEdit>(u"Text6"_s)->setText(u"*4"_s);
    child<QComboBox>(u"Combo8"_s)->setCurrentIndex(2);
    child<QComboBox>(u"Combo10"_s)->setCurrentIndex(25);
    child<QRadioButton>(u"Option1_1"_s)->setChecked(true);
    child<QPushButton>(u"Command1"_s)->click();
    child<QPushButton>(u"Command1"_s)->click();

    ASSERT_EQ(seen.size(), 2u);
    const run::RunInputs& in = seen[0];
    EXPECT_TRUE(in.ignoreErrors);
    EXPECT_EQ(in.parentSheet, u"1");
    EXPECT_EQ(in.childSheet, u"3");
    EXPECT_EQ(in.parentKeyColumn, 2);
    EXPECT_EQ(in.childMatchKind, 1);
    EXPECT_EQ(in.childCondition, u"*4");
    EXPECT_EQ(in.whose, 2);
    EXPECT_FALSE(in.intoChildSheet);
    EXPECT_TRUE(in.intoNewWorkbook);
    EXPECT_EQ(in.thirdTargetColumn, 25);
    EXPECT_EQ(in.thirdTargetLetter, u"Z");
    EXPECT_EQ(form.keyCondition().keyLength, 12) << "the condition outlives runs";
}

TEST_F(Form1Test, HelpWindowIsOneTopLevelInstanceCreatedAfreshAfterClosing) {
    QPushButton* help = child<QPushButton>(u"Command4"_s);
    help->click();
    QPointer<ui::Form2> first = form.helpWindow();
    help->click();
    ASSERT_EQ(form.helpWindow(), first.data());
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->parentWidget(), nullptr);
    first->findChild<QPushButton*>(u"Command1"_s)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    help->click();
    EXPECT_TRUE(form.helpWindow() && form.helpWindow()->isVisible());
}

TEST_F(Form1Test, ChosenPathLosesTrailingSpaces) {
    form.setFileChooser([](QWidget&) { return std::optional<QString>(u"/home/用户/a b.xls   "_s); });
    for (const auto& [button, box] :
         {std::pair{"Command2", "Text1"}, {"Command3", "Text2"}, {"Command5", "Text7"}}) {
        child<QPushButton>(QString::fromLatin1(button))->click();
        EXPECT_EQ(child<QLineEdit>(QString::fromLatin1(box))->text(), u"/home/用户/a b.xls"_s) << box;
    }
}

TEST_F(Form1Test, FileDialogGivesTheFullPathAndCancelKeepsTheText) {
    QTemporaryDir dir;
    const QString file = QDir::toNativeSeparators(dir.filePath(u"子表.xls"_s));
    QFile(file).open(QIODevice::WriteOnly);
    form.show();
    QString title, directory;
    QStringList filters;
    {
        ui::test::WhenModal chooseFile([&](QWidget& modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(&modal)) {
                title = dialog->windowTitle();
                directory = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                if (auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)) {
                    name->setText(file);
                    QTest::keyClick(name, Qt::Key_Return);
                }
            }
            if (modal.isVisible()) modal.close();  // never hang the test
        });
        child<QPushButton>(u"Command3"_s)->click();
    }
    EXPECT_EQ(child<QLineEdit>(u"Text2"_s)->text(), file);
    EXPECT_EQ(title, u"打开文件"_s);
    EXPECT_EQ(directory, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    EXPECT_EQ(filters,
              (QStringList{u"Excel文档 (*.xls)"_s, u"所有支持的工作簿 (*.xls *.xlsx *.ods *.csv)"_s}));

    ui::test::WhenModal cancel([](QWidget& modal) { modal.close(); });
    child<QPushButton>(u"Command2"_s)->click();
    EXPECT_TRUE(cancel.seen());
    EXPECT_EQ(child<QLineEdit>(u"Text1"_s)->text(), u"C:\\"_s);
}

}  // namespace
