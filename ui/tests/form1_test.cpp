#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

#include "ui/help_text.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

class Form1Test : public ui::test::WindowTest {
protected:
    // Does `ask` as the run of a click of the start button, answering its message box with the button
    // `click`; returns the box as seen and the answer.
    QString run(std::function<bool(run::RunWindow&)> ask, const QString& click = {}) {
        QString seen;
        ui::test::WhenModal respond([&](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            if (!box) return void(modal.close());
            QStringList buttons;
            for (QAbstractButton* b : box->buttons()) buttons << b->text();
            seen = u"%1 %2 %3 %4 %5 "_s.arg(QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(box->icon()))
                       .arg(box->windowTitle(), box->text(), buttons.join(u','))
                       .arg(box->isModal() ? "modal" : "modeless");
            buttons.contains(click) ? box->buttons()[buttons.indexOf(click)]->click() : box->reject();
        });
        form.show();
        bool answer = false;
        form.setRunner([&](const run::RunInputs&, run::KeyCondition&, run::RunWindow& w,
                           sheets::ApplicationFactory&) { answer = ask(w); });
        child<QPushButton>("Command1")->click();
        return seen + (answer ? u"yes"_s : u"no"_s);
    }
};

TEST_F(Form1Test, DefaultsAfterLoadAndWhatTheListsShow) {
    const QString az = u"A|B|C|D|E|F|G|H|I|J|K|L|M|N|O|P|Q|R|S|T|U|V|W|X|Y|Z"_s, kinds = u"全字匹配|条件"_s;
    const QString lists[] = {
        az, az, kinds, kinds, az, u"作为结果|进行匹配"_s, u"匹配|不匹配"_s, u"父|子|父子"_s, az, az};
    for (int n = 1; n <= 10; ++n) {
        auto* list = child<QComboBox>(("Combo" + std::to_string(n)).c_str());
        QStringList entries;
        for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
        EXPECT_EQ(entries.join(u'|') + u" @"_s + QString::number(list->currentIndex()),
                  lists[n - 1] + u" @0"_s);
    }
    QString texts;
    for (const char* box : {"Text1", "Text2", "Text7", "Text3", "Text5"})
        texts += child<QLineEdit>(box)->text() + u' ';
    EXPECT_EQ(texts, u"C:\\ C:\\ C:\\ 1 1 "_s);
    for (const char* hidden : {"Text4", "Text6", "Frame2"}) EXPECT_TRUE(child(hidden)->isHidden()) << hidden;
    EXPECT_TRUE(child<QRadioButton>("Option1_0")->isChecked() && !child<QCheckBox>("Check1")->isChecked());

    // the lists show and hide their controls; hiding keeps the condition
    for (const auto& [list, control] :
         {std::pair{"Combo3", "Text4"}, {"Combo4", "Text6"}, {"Combo6", "Frame2"}}) {
        auto* box = qobject_cast<QLineEdit*>(child(control));
        child<QComboBox>(list)->setCurrentIndex(1);
        EXPECT_FALSE(child(control)->isHidden()) << control;
        if (box) box->setText(u"2*"_s);
        child<QComboBox>(list)->setCurrentIndex(0);
        EXPECT_TRUE(child(control)->isHidden() && (!box || box->text() == u"2*"_s)) << control;
    }
}

template <class Field>
QString shown(Field f) {
    if constexpr (std::is_enum_v<Field>)
        return QString::number(static_cast<int>(f));
    else
        return u"%1"_s.arg(f);
}
#define FIELD(f) QString::fromLatin1(#f "=") + shown(in.f)
QStringList describe(const run::RunInputs& in) {
    return {FIELD(ignoreErrors),    FIELD(parentPath),        FIELD(parentSheet),
            FIELD(parentKeyColumn), FIELD(parentMatchKind),   FIELD(parentCondition),
            FIELD(childPath),       FIELD(childSheet),        FIELD(childKeyColumn),
            FIELD(childMatchKind),  FIELD(childCondition),    FIELD(valueColumn),
            FIELD(matching),        FIELD(valueTest),         FIELD(whose),
            FIELD(placement),       FIELD(childTargetColumn), FIELD(childTargetLetter),
            FIELD(thirdPath),       FIELD(thirdTargetColumn), FIELD(thirdTargetLetter)};
}

// Each row sets one control of a fresh window to the first value it names: the run gets exactly the
// fields named changed, as they were at the click, with the factory and the key condition that every
// run of the window shares.
TEST_F(Form1Test, StartHandsTheRunTheInputsAtTheClick) {
    const QStringList defaults = describe(form.inputs());
    const QStringList rows =
        QString::fromUtf16(
            u"Check1 ignoreErrors=1; Text1 parentPath=/p/父.xls; Text3 parentSheet=2; "
            u"Combo1 parentKeyColumn=3; Combo3 parentMatchKind=1; Text4 parentCondition=??6*; "
            u"Text2 childPath=/p/子.xls; Text5 childSheet=4; Combo2 childKeyColumn=5; "
            u"Combo4 childMatchKind=1; Text6 childCondition=*3; Combo5 valueColumn=6; Combo6 matching=1; "
            u"Combo7 valueTest=1; Combo8 whose=2; Option1_1 placement=1; "
            u"Option1_2 placement=2; Combo9 childTargetColumn=7 childTargetLetter=H; "
            u"Text7 thirdPath=/p/三.xls; Combo10 thirdTargetColumn=25 thirdTargetLetter=Z")
            .split(u"; "_s);
    for (const QString& row : rows) {
        QStringList changes = row.split(u' '), expected = defaults, seen;
        const QString name = changes.takeFirst(), set = changes[0].section(u'=', 1);
        for (QString& field : expected)
            for (const QString& change : changes)
                if (field.section(u'=', 0, 0) == change.section(u'=', 0, 0)) field = change;
        ui::Form1 window{factory};
        QWidget* control = child(window, name.toLatin1().constData());
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->click();
        else
            ASSERT_TRUE(
                control->setProperty(qobject_cast<QComboBox*>(control) ? "currentIndex" : "text", set));
        window.setRunner([&](const run::RunInputs& in, run::KeyCondition& kc, run::RunWindow&,
                             sheets::ApplicationFactory& f) {
            ui::test::onWindowThread(
                [&] { child<QLineEdit>(window, "Text5")->setText(u"9"_s); });  // too late

            if (seen.isEmpty()) seen = describe(in);
            EXPECT_EQ(&f, &factory);
            kc.keyLength = std::int16_t(kc.keyLength + 6);
        });
        for (int click = 0; click < 2; ++click) child<QPushButton>(window, "Command1")->click();
        EXPECT_EQ(seen.join(u' '), expected.join(u' '));
        EXPECT_EQ(window.keyCondition().keyLength, 12) << "the condition outlives runs";
    }
}

// The help text has 42 lines, each ended by CR LF, and the help window shows them line by line.
TEST_F(Form1Test, HelpIsOneTopLevelWindowShowingTheFortyTwoLinesAndAfreshAfterClosing) {
    const QString text = QStringView(ui::helpText()).toString();
    EXPECT_TRUE(text.count(u"\r\n"_s) == 42 && text.count(u'\r') == 42 && text.count(u'\n') == 42);
    EXPECT_TRUE(text.endsWith(u"\r\n"_s));
    child<QPushButton>("Command4")->click();
    QPointer<ui::Form2> first = form.helpWindow();
    child<QPushButton>("Command4")->click();
    ASSERT_EQ(form.helpWindow(), first.data());
    EXPECT_TRUE(first->isVisible() && !first->parentWidget());
    EXPECT_EQ(child<QPlainTextEdit>(*first, "Text1")->toPlainText(),
              QString(text).replace(u"\r\n"_s, u"\n"_s));
    EXPECT_TRUE(child<QPlainTextEdit>(*first, "Text1")->isReadOnly());
    EXPECT_EQ(child<QPushButton>(*first, "Command1")->text(), u"确定(&O)"_s);
    child<QPushButton>(*first, "Command1")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    child<QPushButton>("Command4")->click();
    EXPECT_TRUE(form.helpWindow() && form.helpWindow()->isVisible());
}

// Sends a drag of `urls` onto `box`, and the drop when the drag is taken; returns whether both were.
bool dropOnto(QWidget& box, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&box, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    return enter.isAccepted() && QApplication::sendEvent(&box, &drop) && drop.isAccepted();
}

// Each path box takes a chosen workbook without trailing spaces, refuses dropped folders, other files
// and several files, and takes one dropped workbook as if chosen: the next dialog opens in its folder.
TEST_F(Form1Test, ChosenOrDroppedWorkbookFillsItsBox) {
    QTemporaryDir dir;
    const QString book = dir.filePath(u"父表.XLSX"_s), text = dir.filePath(u"说明.txt"_s);
    for (const QString& file : {book, text}) QFile(file).open(QIODevice::WriteOnly);
    const auto url = QUrl::fromLocalFile;
    QStringList folders, seen;
    form.setFileChooser([&](QWidget&, const QString& folder) {
        folders << folder;
        return std::optional<QString>(u"/home/用户/a b.xls   "_s);
    });
    for (const auto& [button, box] :
         {std::pair{"Command2", "Text1"}, {"Command3", "Text2"}, {"Command5", "Text7"}}) {
        child<QPushButton>(button)->click();
        seen << child<QLineEdit>(box)->text();
        for (const QList<QUrl>& refused : {QList{url(dir.path())}, {url(text)}, {url(book), url(book)}})
            EXPECT_FALSE(dropOnto(*child(box), refused)) << box << refused.first().path().toStdString();
        EXPECT_TRUE(dropOnto(*child(box), {url(book)})) << box;
        seen << child<QLineEdit>(box)->text();
    }
    const QString chosen = u"/home/用户/a b.xls"_s;
    EXPECT_EQ(seen, (QStringList{chosen, book, chosen, book, chosen, book}));
    EXPECT_EQ(folders, (QStringList{QDir::homePath(), dir.path(), dir.path()}));
}

// The real dialog: at home first, then in the folder of the workbook chosen in another box; the Excel
// workbooks shown by default; a full path typed where the dialog shows that folder taken as it is;
// cancelling keeps the box's text.
TEST_F(Form1Test, FileDialogGivesTheFullPathAndCancelKeepsTheText) {
    QTemporaryDir dir;
    const QString file = QDir::toNativeSeparators(dir.filePath(u"子表.xlsx"_s));
    QFile(file).open(QIODevice::WriteOnly);
    form.show();
    QStringList seen;
    for (const char* button : {"Command3", "Command2", "Command5"}) {  // chosen, typed, cancelled
        ui::test::WhenModal respond([&](QWidget& modal) {
            auto* dialog = qobject_cast<QFileDialog*>(&modal);
            auto* name = dialog ? dialog->findChild<QLineEdit*>(u"fileNameEdit"_s) : nullptr;
            if (!name) return void(modal.close());
            seen << dialog->directory().absolutePath();
            if (seen.size() == 1) {
                seen << dialog->windowTitle() << dialog->nameFilters() << dialog->selectedNameFilter();
                name->setText(file);
            } else if (seen.size() == 7) {
                for (qsizetype i = 1; i <= file.size(); ++i) name->setText(file.left(i));  // typed
            } else {
                return void(modal.close());
            }
            QTest::keyClick(name, Qt::Key_Return);
            if (modal.isVisible()) modal.close();  // refused: the test fails, not hangs
        });
        child<QPushButton>(button)->click();
        EXPECT_TRUE(respond.seen) << button;
    }
    EXPECT_EQ(QStringList({child<QLineEdit>("Text2")->text(), child<QLineEdit>("Text1")->text(),
                           child<QLineEdit>("Text7")->text()}),
              QStringList({file, file, u"C:\\"_s}));
    const QString excel = u"Excel文档 (*.xls *.xlsx *.xlsm)"_s;
    EXPECT_EQ(seen, (QStringList{QDir::homePath(), u"打开文件"_s, excel,
                                 u"所有支持的工作簿 (*.xls *.xlsx *.xlsm *.ods *.csv)"_s,
                                 u"Excel 97-2003 文档 (*.xls)"_s, excel, dir.path(), dir.path()}));
}

TEST_F(Form1Test, RunMessageHasOneOkAndTheSaveQuestionReturnsTheAnswer) {
    const auto message = [](run::RunWindow& w) { return w.showMessage(u"请输入条件", u"提示"), true; };
    const auto save = [](run::RunWindow& w) { return w.askSaveChanges(u"结果.xls"); };
    const QString question = u"Question Pellucor 是否保存对“结果.xls”的更改？ 保存,不保存 modal "_s;
    EXPECT_EQ(run(message, u"确定"_s), u"Warning 提示 请输入条件 确定 modal yes"_s);
    EXPECT_EQ(run(save, u"保存"_s), question + u"yes"_s);
    EXPECT_EQ(run(save, u"不保存"_s), question + u"no"_s);
    EXPECT_EQ(run(save), question + u"no"_s) << "closed";
}

}  // namespace
