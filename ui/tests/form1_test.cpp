#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <fstream>

#include "run/run_options.h"
#include "sheets/run_history.h"
#include "ui/help_text.h"
#include "ui/qt_run_window.h"
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

// Options chosen in their window reach the run and the line under the placement, and are remembered
// for the next start, while the main window's own controls start as always.
TEST_F(Form1Test, OptionsAreChosenInTheirWindowAndRemembered) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath(u"Pellucor.conf"_s), QSettings::IniFormat);
    const run::RunOptions expected{.folding = {false, true, false},
                                   .moreValueColumns = {3, 5},
                                   .moreParentKeyColumns = {2},
                                   .moreChildKeyColumns = {3},
                                   .duplicates = run::DuplicateKeys::Last,
                                   .unmatched = run::Unmatched::WriteText,
                                   .unmatchedText = u"无"};
    const QString summary =
        u"选项：不分大小写；另取 D、F 列；组合键（父+C，子+D）；重复键取末行；无匹配写“无”"_s;
    auto window = std::make_unique<ui::Form1>(factory, &settings);
    EXPECT_TRUE(child<QLabel>(*window, "optionsSummary")->text().isEmpty());
    const auto choose = [&](const std::function<void(QWidget&)>& set) {
        ui::test::WhenModal respond(
            [&](QWidget& options) { set(options), child<QPushButton>(options, "ok")->click(); });
        child<QPushButton>(*window, "optionsButton")->click();
        EXPECT_TRUE(respond.seen);
    };
    choose([&](QWidget& options) {
        child<QCheckBox>(options, "caseFolding")->click();
        child<QLineEdit>(options, "moreValueColumns")->setText(u"d、f"_s);
        child<QComboBox>(options, "parentKeyColumn2")->setCurrentIndex(3);
        child<QComboBox>(options, "childKeyColumn3")
            ->setCurrentIndex(4);  // a third column alone is the second
        child<QRadioButton>(options, "lastRow")->click();
        EXPECT_FALSE(child(options, "unmatchedText")->isEnabled());
        child<QRadioButton>(options, "writeText")->click();
        EXPECT_EQ(child<QLineEdit>(options, "unmatchedText")->text(), u"无"_s);
    });
    EXPECT_EQ(window->inputs().options, expected);
    EXPECT_EQ(child<QLabel>(*window, "optionsSummary")->toolTip(), summary);
    EXPECT_TRUE(summary.startsWith(child<QLabel>(*window, "optionsSummary")->text().chopped(1)));

    window = std::make_unique<ui::Form1>(factory, &settings);
    EXPECT_EQ(window->options(), expected);
    EXPECT_EQ(describe(window->inputs()), describe(form.inputs()));
    choose([&](QWidget& options) { child<QPushButton>(options, "defaults")->click(); });
    EXPECT_EQ(ui::Form1(factory, &settings).options(), run::RunOptions());
}

// Where the desktop would open a URL.
class Desktop : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened << url; }

public:
    QList<QUrl> opened;
};

// Hands each window that becomes the modal one to the next step, and the step's clicks happen once it
// has returned, so that the window a click opens finds the steps free.
struct EachModal {
    explicit EachModal(std::vector<std::function<void(QWidget&)>> steps) {
        QObject::connect(&timer, &QTimer::timeout, [this, steps] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last || next == steps.size()) return;
            last = modal;
            steps[next++](*modal);
        });
        timer.start(10);
    }
    QTimer timer;
    QPointer<QWidget> last;
    std::size_t next = 0;
};

// A message box's text and buttons, then a click of the button named.
auto clickIn(QStringList& seen, const QString& caption) {
    return [&seen, caption](QWidget& modal) {
        QStringList buttons;
        for (QAbstractButton* b : qobject_cast<QMessageBox*>(&modal)->buttons()) {
            buttons << b->text();
            if (b->text() == caption) QTimer::singleShot(0, b, &QAbstractButton::click);
        }
        buttons.sort();
        seen << modal.windowTitle() + u' ' + qobject_cast<QMessageBox*>(&modal)->text() + u' ' +
                    buttons.join(u',');
    };
}

// The completion box opens the result with the desktop's application and undoes the run; the list of
// runs then shows the run undone and undoes the undo.
TEST_F(Form1Test, CompletionOpensTheResultAndUndoesTheRunAndTheListUndoesTheUndo) {
    QTemporaryDir dir;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    const std::filesystem::path file = dir.filePath(u"子表.xlsx"_s).toStdString();
    const auto bytes = [&] {
        QFile f(QString::fromStdString(file.string()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    std::ofstream(file) << "before";
    sheets::RunBackup backup;
    const auto copy = backup.copy(file);
    std::ofstream(file) << "after the run";
    ASSERT_TRUE(sheets::recordStored(backup, copy, file, {{1, u"数据", 3, 2}}));
    const run::Completion completion{u"操作完成!",       u"完成", u"", u"子表 3 行", file.u16string(),
                                     {copy.u16string()}, {}};
    ui::QtRunWindow runWindow(form, *child("Frame1"), *child("Command1"));
    Desktop desktop;
    QDesktopServices::setUrlHandler(u"file"_s, &desktop, "open");
    QStringList seen;
    for (const QString& button : {u"打开结果"_s, u"撤销此次运行"_s}) {
        EachModal steps({clickIn(seen, button), clickIn(seen, u"确定"_s)});
        runWindow.showCompletion(completion);
    }
    QDesktopServices::unsetUrlHandler(u"file"_s);
    EXPECT_EQ(desktop.opened, QList{QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    EXPECT_EQ(bytes(), "before");

    QStringList rows;
    const auto list = [&](bool undo) {
        return [&rows, undo](QWidget& window) {
            auto* runs = window.findChild<QTreeWidget*>(u"runList"_s);
            for (int i = 0; i < runs->topLevelItemCount(); ++i)
                rows << runs->topLevelItem(i)->text(1) + u'|' + runs->topLevelItem(i)->text(2) + u'|' +
                            runs->topLevelItem(i)->text(3).section(u' ', 0, 0);
            QAbstractButton* button = window.findChild<QPushButton*>(undo ? u"undoRun"_s : u"close"_s);
            QTimer::singleShot(0, button, &QAbstractButton::click);
        };
    };
    {
        EachModal steps({list(true), clickIn(seen, u"确定"_s), list(false)});
        form.show();
        child<QPushButton>("historyButton")->click();
    }
    EXPECT_EQ(bytes(), "after the run");
    const QString runs = u"子表.xlsx|子表.xlsx 第 1 个工作表（数据） C、D 列|"_s;
    EXPECT_EQ(rows, (QStringList{runs + u"撤销了"_s, runs + u"已撤销"_s, runs + u"撤销了"_s,
                                 runs + u"撤销了"_s, runs}));
    const QString done = u"完成 操作完成! Show Details...,打开结果,撤销此次运行,确定"_s;
    const QString undone = u"撤销 已撤销此次运行，它保存过的文件已恢复原样。 Show Details...,确定"_s;
    EXPECT_EQ(seen, (QStringList{done, done, undone, undone}));
    qputenv("XDG_DATA_HOME", dataHome);
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

#include "form1_test.moc"
