// Layout checks and screenshots of both windows; run at 100 %, at Qt's 150 % scaling and for a
// 144 dpi screen (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QtWidgets>

#include "run/matching.h"
#include "run/run_report.h"
#include "sheets/run_history.h"
#include "ui/help_text.h"
#include "ui/option_settings.h"
#include "ui/options_window.h"
#include "ui/progress_window.h"
#include "ui/qt_run_window.h"
#include "ui/run_history_window.h"
#include "ui/twips.h"
#include "ui_test_support.h"

using namespace Qt::StringLiterals;

namespace {

using Kind = sheets::FailureCause::Kind;
const run::RunOptions kOptions{.folding = {true, true, true},
                               .moreValueColumns = {3, 5, 7},
                               .moreParentKeyColumns = {2, 4},
                               .moreChildKeyColumns = {3, 4},
                               .duplicates = run::DuplicateKeys::AllJoined,
                               .unmatched = run::Unmatched::WriteText,
                               .unmatchedText = u"无"};

// A run that stored a workbook, with an undo of it, in a backup folder of their own.
struct TwoRuns {
    TwoRuns() {
        const std::filesystem::path file = dir.filePath(u"子表.xlsx"_s).toStdString();
        std::ofstream(file) << "before";
        sheets::RunBackup backup(root);
        copy = backup.copy(file);
        std::ofstream(file) << "after";
        sheets::recordStored(backup, copy, file, {{1, u"工资", 3, 4}});
        sheets::undoRun(*sheets::recordedRun(backup.folder()), root);
        result = file.u16string();
    }
    QTemporaryDir dir;
    std::filesystem::path root = dir.filePath(u"backups"_s).toStdString(), copy;
    std::u16string result;
};
const std::vector<std::u16string> kParentKeys{u"A01", u"A02", u"A01"}, kParentValues{u"000", u"111", u"222"},
    kChildKeys{u"A01", u"B01", u""};

QStringList textsOf(const QWidget& w) {
    if (auto* l = qobject_cast<const QLabel*>(&w)) return {l->text()};
    if (auto* b = qobject_cast<const QAbstractButton*>(&w)) return {QString(b->text()).remove(u'&')};
    QStringList items;
    if (auto* c = qobject_cast<const QComboBox*>(&w))
        for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
    return items;
}

// The width a control has for its texts.
int room(QWidget& w) {
    if (qobject_cast<QPushButton*>(&w)) return w.width() - 8;
    if (qobject_cast<QAbstractButton*>(&w))  // less the indicator
        return w.width() - w.sizeHint().width() + w.fontMetrics().horizontalAdvance(textsOf(w).value(0));
    if (!qobject_cast<QComboBox*>(&w)) return w.width();
    QStyleOptionComboBox option;
    option.initFrom(&w);
    return w.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &w).width() -
           2;
}

using Layout = ui::test::WindowTest;

// Controls lie inside their container, apart from each other, wide enough for what they show, in a
// font that has every character.
TEST_F(Layout, ControlsFitWithoutOverlapOrClipping) {
    for (const char* list : {"Combo3", "Combo4", "Combo6"}) child<QComboBox>(list)->setCurrentIndex(1);
    const int dpi = form.logicalDpiX();
    EXPECT_EQ(form.size(), QSize(ui::twipsToPixels(5970, dpi), ui::twipsToPixels(4275, dpi)));
    EXPECT_EQ(child("Combo8")->mapTo(&form, QPoint()),
              QPoint(ui::twipsToPixels(3210 + 1470, dpi), ui::twipsToPixels(1950 + 180, dpi)));
    ui::Form2 help;
    ui::ProgressWindow progress(form);
    progress.show();
    progress.showProgress(run::Phase::ReadParent, 393216, 1048576);
    ui::OptionsWindow options(kOptions, form);
    const TwoRuns runs;
    ui::RunHistoryWindow history(form, runs.root);
    options.show(), history.show();  // laid out
    QString texts = form.windowTitle() + help.windowTitle() + progress.windowTitle() + options.windowTitle() +
                    history.windowTitle() + QStringView(ui::helpText()).toString();
    for (QWidget* window : std::initializer_list<QWidget*>{&form, &help, &progress, &options, &history}) {
        QList<QWidget*> all = window->findChildren<QWidget*>();
        all.removeIf([](QWidget* w) {  // the parts of Qt's own widgets
            return w->isWindow() || w->objectName().isEmpty() || w->objectName().startsWith(u"qt_"_s) ||
                   w->parentWidget()->objectName().startsWith(u"qt_"_s);
        });
        for (QWidget* w : all) {
            const std::string name = w->objectName().toStdString();
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << name;
            for (QWidget* other : all)
                EXPECT_FALSE(other != w && other->parentWidget() == w->parentWidget() &&
                             w->geometry().intersects(other->geometry()))
                    << name << " overlaps " << other->objectName().toStdString();
            for (const QString& t : textsOf(*w))
                EXPECT_LE(w->fontMetrics().horizontalAdvance(t), room(*w)) << name;
            EXPECT_GE(w->height(), w->fontMetrics().height()) << name;
            texts += textsOf(*w).join(QString()) + w->toolTip();
        }
    }
    const QRawFont raw = QRawFont::fromFont(ui::windowFont());
    EXPECT_EQ(raw.familyName(), u"WenQuanYi Micro Hei"_s);
    texts.removeIf([&](QChar c) { return !c.isPrint() || c == u' ' || raw.supportsCharacter(c); });
    EXPECT_EQ(texts, QString()) << "characters the font lacks";
}

// Saves a picture of the window for people to look at, and checks that the label's text was drawn:
// its area holds pixels of another colour than its top left corner. Without a label, a picture only.
void screenshot(QWidget& window, const QString& name, const QString& label = {}) {
    const QPixmap picture = window.grab();
    const QString dir = qEnvironmentVariable("PELLUCOR_TEST_ARTIFACTS", QDir::tempPath());
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(
        u"%1-%2dpi-x%3.png"_s.arg(name).arg(window.logicalDpiX()).arg(window.devicePixelRatioF()));
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
    if (label.isEmpty()) return;
    const QWidget* text = window.findChild<QWidget*>(label);
    ASSERT_TRUE(text) << label.toStdString();
    const QImage image = picture.toImage();
    const qreal ratio = picture.devicePixelRatio();
    const QRect area(text->mapTo(&window, QPoint()) * ratio, text->size() * ratio);
    int drawn = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            drawn += image.pixel(x, y) != image.pixel(area.topLeft());
    EXPECT_GT(drawn, 20) << name.toStdString() << ": nothing drawn in " << label.toStdString();
}

using Screenshots = ui::test::WindowTest;

// Both windows, the progress window in its phases, and the file dialog (a picture only).
TEST_F(Screenshots, EveryWindowDrawsItsTexts) {
    form.show();
    screenshot(form, u"form1"_s, u"Label1"_s);
    for (const char* list : {"Combo3", "Combo4", "Combo6"}) child<QComboBox>(list)->setCurrentIndex(1);
    child<QLineEdit>("Text1")->setText(u"/home/用户/工资/父表.xls"_s);
    child<QLineEdit>("Text4")->setText(u"??6*"_s);
    child<QLineEdit>("Text6")->setText(u"*3"_s);
    child<QComboBox>("Combo8")->setCurrentIndex(2);
    screenshot(form, u"form1-all"_s, u"Text1"_s);
    ui::Form2 help;
    help.show();
    screenshot(help, u"form2"_s, u"Label2"_s);
    ui::ProgressWindow progress(form);
    progress.show();
    progress.showProgress(run::Phase::ReadParent, 393216, 1048576);
    screenshot(progress, u"progress-read"_s, u"phase"_s);
    progress.showProgress(run::Phase::Save, 0, 0);
    screenshot(progress, u"progress-save"_s, u"elapsed"_s);
    progress.restart();
    progress.showProgress(run::Phase::OpenChild, 0, 0);
    progress.findChild<QPushButton*>(u"cancel"_s)->click();
    screenshot(progress, u"progress-cancelling"_s, u"phase"_s);
    QTemporaryDir dir;
    QSettings settings(dir.filePath(u"Pellucor.conf"_s), QSettings::IniFormat);
    ui::saveOptions(settings, kOptions);
    ui::Form1 withOptions(factory, &settings);
    withOptions.show();
    screenshot(withOptions, u"form1-options"_s, u"optionsSummary"_s);
    ui::OptionsWindow options(kOptions, form);
    options.show();
    screenshot(options, u"options"_s, u"moreValueColumns"_s);
    const TwoRuns runs;
    ui::RunHistoryWindow history(form, runs.root);
    history.show();
    screenshot(history, u"run-history"_s, u"runList"_s);
    ui::test::WhenModal dialog(
        [](QWidget& modal) { screenshot(modal, u"open-file-dialog"_s), modal.close(); });
    child<QPushButton>("Command2")->click();
    EXPECT_TRUE(dialog.seen);
}

// The run's boxes with their details unfolded, in the program's language: the completion after a
// result that could not be saved, and the error box.
TEST_F(Screenshots, RunMessagesWithTheirDetails) {
    QTranslator qtTranslator;
    if (qtTranslator.load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    form.show();
    ui::QtRunWindow window(form, *child("Frame1"), *child("Command1"));
    run::RunSummary summary;
    const run::MatchTables tables{kParentKeys, kParentValues, kChildKeys, {}, {}, {}};
    summary.counts = run::countMatches(tables, run::lookupRows(tables));
    const run::StepFailure readOnly{"close the child workbook", "",
                                    sheets::FailureCause(Kind::ReadOnly, u"子表.xls"), u"保存 子表.xls"};
    summary.skipped = {readOnly};
    summary.skippedCount = 1;
    summary.destination = run::Destination{u"子表.xls", u"1", u"C"};
    summary.notPlaced = run::NotPlaced{true, u"子表.xls", readOnly, {}};
    sheets::FailureCause errorValue(Kind::ErrorValue);
    errorValue.cell = u"B7", errorValue.errorValue = u"#DIV/0!";
    const run::StepFailure cell{"read the value cell", "", errorValue,
                                u"读取父表（父表.xls，第 1 个工作表）的键和值"};
    const TwoRuns runs;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", runs.dir.path().toUtf8());  // where the undo button finds the run
    run::RunSummary saved = summary;
    saved.notPlaced.reset(), saved.skipped.clear(), saved.skippedCount = 0;
    saved.options = run::optionsSummary(kOptions);
    const std::pair<QString, run::Completion> boxes[] = {
        {u"done-not-saved"_s,
         {u"操作完成!", u"完成", run::informativeText(summary), run::summaryText(summary), {}, {}, {}}},
        {u"done"_s,
         {u"操作完成!", u"完成", u"", run::summaryText(saved), runs.result, {runs.copy.u16string()}, {}}},
        {u"error"_s,
         {u"操作错误，请检查Excel表是否正确或输入参数是否规范！请重新运行软件",
          u"错误提示",
          u"",
          run::reasonText(cell),
          {},
          {},
          {}}},
    };
    for (const auto& [name, c] : boxes) {
        const auto& [text, title, informative, detailed, file, backups, counts] = c;
        QString seen;
        ui::test::WhenModal respond([&](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            if (!box) return void(modal.close());
            QAbstractButton* ok = nullptr;
            for (QAbstractButton* b : box->buttons()) {
                // Qt's own button, which unfolds the details
                if (box->buttonRole(b) == QMessageBox::ActionRole && b->objectName().isEmpty()) b->click();
                if (box->buttonRole(b) == QMessageBox::AcceptRole) ok = b;
            }
            box->adjustSize();
            screenshot(*box, u"message-"_s + name, u"qt_msgbox_label"_s);
            seen = box->informativeText() + u'|' + box->detailedText() + u'|' + (ok ? ok->text() : QString());
            ok ? ok->click() : box->reject();
        });
        window.showCompletion(c);
        EXPECT_EQ(seen, QString::fromStdU16String(informative + u"|" + detailed + u"|确定"));
    }
    qputenv("XDG_DATA_HOME", dataHome);
    QApplication::removeTranslator(&qtTranslator);
}

}  // namespace
