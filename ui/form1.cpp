#include "ui/form1.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtGlobal>

#include "run/lookup_run.h"
#include "run/run_texts.h"
#include "ui/form2.h"
#include "ui/input_filters.h"
#include "ui/look.h"
#include "ui/option_settings.h"
#include "ui/options_window.h"
#include "ui/qt_run_window.h"
#include "ui/run_history_window.h"
#include "ui/twips.h"

using namespace Qt::StringLiterals;

namespace ui {

namespace {

// Heights and widths the layout does not fix, in twips.
constexpr int kBoxHeight = 300;  // text boxes, lists and the "..." buttons
constexpr int kLabelHeight = 255;
constexpr int kOptionHeight = 270;  // the option buttons stand 300 twips apart
constexpr int kButtonHeight = 375;  // the buttons of the bottom row
constexpr int kPickWidth = 735;     // the "..." buttons
constexpr int kColumnListWidth = 615;

// A control's name and its place in twips of the window, whichever frame holds it.
struct Spot {
    std::u16string_view name;
    int left, top, width, height;
};

// Every control but those of the tables' rows. Within Frame2 (further matching) the labels stand as high
// as the lists beside them, so their texts line up.
constexpr Spot kSpots[] = {
    {u"Frame1", 60, 0, 5835, 3735},
    {u"Label8", 90, 2190, 1335, kLabelHeight},
    {u"Combo5", 1440, 2130, kColumnListWidth, kBoxHeight},
    {u"Combo6", 2100, 2130, 1065, kBoxHeight},
    {u"Frame2", 3210, 1950, 2565, 585},
    {u"Label10", 3270, 2130, 225, kBoxHeight},
    {u"Combo7", 3510, 2130, 900, kBoxHeight},
    {u"Label11", 4440, 2130, 225, kBoxHeight},
    {u"Combo8", 4680, 2130, 780, kBoxHeight},
    {u"Label12", 5490, 2130, 225, kBoxHeight},
    {u"Option1_0", 150, 2670, 1455, kOptionHeight},
    {u"Combo9", 1620, 2640, kColumnListWidth, kBoxHeight},
    {u"Label7", 2310, 2700, 600, kLabelHeight},
    {u"Option1_1", 150, 2970, 1800, kOptionHeight},
    {u"Option1_2", 150, 3270, 1110, kOptionHeight},
    {u"Text7", 1290, 3240, 2085, kBoxHeight},
    {u"Command5", 3420, 3240, kPickWidth, kBoxHeight},
    {u"Label9", 4230, 3300, 225, kLabelHeight},
    {u"Combo10", 4470, 3240, kColumnListWidth, kBoxHeight},
    // beside the placement rows, where the window has room: the options and the recent runs
    {u"optionsButton", 3210, 2640, 1215, kBoxHeight},
    {u"historyButton", 4590, 2640, 1215, kBoxHeight},
    {u"optionsSummary", 2010, 2985, 3795, 240},
    {u"Check1", 60, 3870, 2400, kOptionHeight},
    {u"Command4", 3210, 3840, 1215, kButtonHeight},
    {u"Command1", 4590, 3840, 1215, kButtonHeight},
};

// The spot of the control named; the window's own lies at 0, 0.
Spot at(QStringView name) {
    for (const Spot& spot : kSpots)
        if (QStringView(spot.name) == name) return spot;
    return {};
}

// Names w and places it in the container `in`, relative to the container's own spot.
template <class Widget>
Widget* place(Widget* w, QWidget& in, const Spot& spot) {
    const int dpi = in.window()->logicalDpiX();
    const Spot origin = at(in.objectName());
    w->setParent(&in);
    w->setObjectName(QStringView(spot.name).toString());
    w->setGeometry(twipsRect(spot.left, spot.top, spot.width, spot.height, dpi, origin.left, origin.top));
    return w;
}

QComboBox* list(QWidget& in, const Spot& spot, const QStringList& entries) {
    QComboBox* c = place(new QComboBox, in, spot);
    c->addItems(entries);
    return c;
}

QPushButton* pickButton(QWidget& in, const Spot& spot) {
    QPushButton* b = place(new QPushButton(u"..."_s), in, spot);
    b->setAutoDefault(false);
    return b;
}

QStringList columnLetters() {
    QStringList letters;
    for (char16_t c = u'A'; c <= u'Z'; ++c) letters << QString(QChar(c));
    return letters;
}

// A list's entries, or a group's buttons, and what each means to a run.
template <class Value>
struct Choice {
    std::u16string_view caption;
    Value value;
};
constexpr Choice<run::KeyMatch> kKeyMatches[] = {{u"全字匹配", run::KeyMatch::WholeWord},
                                                 {u"条件", run::KeyMatch::Condition}};
constexpr Choice<run::Matching> kMatchings[] = {{u"作为结果", run::Matching::LookupAsResult},
                                                {u"进行匹配", run::Matching::FurtherMatching}};
constexpr Choice<run::ValueTest> kValueTests[] = {{u"匹配", run::ValueTest::Agree},
                                                  {u"不匹配", run::ValueTest::Differ}};
constexpr Choice<run::Whose> kWhose[] = {
    {u"父", run::Whose::Parent}, {u"子", run::Whose::Child}, {u"父子", run::Whose::Both}};
constexpr Choice<run::Placement> kPlacements[] = {{u"插入到子表列", run::Placement::IntoChildSheet},
                                                  {u"插入到新表中", run::Placement::IntoNewWorkbook},
                                                  {u"插入到表", run::Placement::IntoThirdTable}};

template <class Value, std::size_t N>
QStringList captions(const Choice<Value> (&choices)[N]) {
    QStringList out;
    for (const auto& choice : choices) out << QStringView(choice.caption).toString();
    return out;
}

// What the entry at index means. Filled lists and the option group always have one chosen.
template <class Value, std::size_t N>
Value chosen(const Choice<Value> (&choices)[N], int index) {
    return choices[std::clamp(index, 0, static_cast<int>(N) - 1)].value;
}

// The names of a table's controls, in the order they are made: its heading, the path box and its
// "..." button; the sheet number's label and box, the key column's label and list, the match kind
// and the condition.
using TableNames = std::array<std::u16string_view, 9>;
constexpr TableNames kParentNames{u"Label1", u"Text1",  u"Command2", u"Label3", u"Text3",
                                  u"Label4", u"Combo1", u"Combo3",   u"Text4"};
constexpr TableNames kChildNames{u"Label2", u"Text2",  u"Command3", u"Label5", u"Text5",
                                 u"Label6", u"Combo2", u"Combo4",   u"Text6"};

// A table's two rows in Frame1: the heading and the workbook path at `top`, the rest at `sheetTop`.
auto tableRows(QWidget& frame, const TableNames& n, const QString& heading, int top, int sheetTop) {
    place(new QLabel(heading), frame, {n[0], 90, top + 60, 555, kLabelHeight});
    auto* path = place(new QLineEdit, frame, {n[1], 690, top, 4275, kBoxHeight});
    QPushButton* chooser = pickButton(frame, {n[2], 5010, top, kPickWidth, kBoxHeight});
    place(new QLabel(u"指定页"_s), frame, {n[3], 90, sheetTop + 30, 585, kLabelHeight});
    QLineEdit* sheet = place(new SelectAllLineEdit, frame, {n[4], 690, sheetTop, 615, kBoxHeight});
    sheet->setToolTip(u"对应Excel绝对页"_s);
    place(new QLabel(u"指定列"_s), frame, {n[5], 1380, sheetTop + 30, 600, kLabelHeight});
    QComboBox* column = list(frame, {n[6], 2010, sheetTop, kColumnListWidth, kBoxHeight}, columnLetters());
    QComboBox* kind = list(frame, {n[7], 2670, sheetTop, 1050, kBoxHeight}, captions(kKeyMatches));
    auto* condition = place(new QLineEdit, frame, {n[8], 3750, sheetTop, 1215, kBoxHeight});
    condition->setToolTip(u"通配符‘？’和‘*’,具体查看帮助"_s);
    return std::tuple{path, chooser, sheet, column, kind, condition};
}

// Keeps every input of a window from the user while it lives, as a modal window over it would,
// except that the window can still be moved and closed: the window system drops the close of a
// window under a modal one.
class InputGuard : public QObject {
public:
    explicit InputGuard(QWidget& window) : window_(window) { qApp->installEventFilter(this); }
    ~InputGuard() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::Drop: {
                auto* widget = qobject_cast<QWidget*>(object);
                return widget && widget->window() == &window_;
            }
            default:
                return false;
        }
    }

private:
    QWidget& window_;
};

}  // namespace

Form1::Form1(sheets::ApplicationFactory& factory, QSettings* settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint),
      factory_(factory),
      runner_(run::lookupRun),
      chooser_(chooseWorkbook),
      settings_(settings),
      options_(settings ? loadOptions(*settings) : run::RunOptions()) {
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Pellucor V2.1"_s);
    setFont(windowFont());
    createControls();
    runWindow_ = std::make_unique<QtRunWindow>(*this, *inputFrame_, *startButton_);
    selectFirstEntries();
}

Form1::~Form1() {
    delete form2_.data();
}

void Form1::createControls() {
    const int dpi = logicalDpiX();
    setFixedSize(twipsToPixels(5970, dpi), twipsToPixels(4275, dpi));
    inputFrame_ = place(new QGroupBox, *this, at(u"Frame1"));
    // The child's rows lie 930 twips lower (900 for the second row) than the parent's.
    std::tie(parentPathBox_, parentChooserButton_, parentSheetBox_, parentKeyColumnList_,
             parentMatchKindList_, parentConditionBox_) =
        tableRows(*inputFrame_, kParentNames, u"父表"_s, 240, 750);
    std::tie(childPathBox_, childChooserButton_, childSheetBox_, childKeyColumnList_, childMatchKindList_,
             childConditionBox_) = tableRows(*inputFrame_, kChildNames, u"子表"_s, 1170, 1650);
    createMatchingControls();
    createPlacementControls();
    createOptionControls();
    // The bottom row, outside the frame that a run disables.
    ignoreErrorsBox_ = place(new QCheckBox(u"忽略格式产生的错误"_s), *this, at(u"Check1"));
    helpButton_ = place(new QPushButton(u"帮助"_s), *this, at(u"Command4"));
    startButton_ = place(new QPushButton(u"开始"_s), *this, at(u"Command1"));
    setUpControls();
}

// The value column and the way of matching.
void Form1::createMatchingControls() {
    place(new QLabel(u"将匹配的指定列"_s), *inputFrame_, at(u"Label8"));
    valueColumnList_ = list(*inputFrame_, at(u"Combo5"), columnLetters());
    matchingList_ = list(*inputFrame_, at(u"Combo6"), captions(kMatchings));
    furtherMatchingFrame_ = place(new QGroupBox, *inputFrame_, at(u"Frame2"));
    place(new QLabel(u"将"_s), *furtherMatchingFrame_, at(u"Label10"));
    valueTestList_ = list(*furtherMatchingFrame_, at(u"Combo7"), captions(kValueTests));
    place(new QLabel(u"的"_s), *furtherMatchingFrame_, at(u"Label11"));
    whoseList_ = list(*furtherMatchingFrame_, at(u"Combo8"), captions(kWhose));
    place(new QLabel(u"值"_s), *furtherMatchingFrame_, at(u"Label12"));
}

// Where the result goes.
void Form1::createPlacementControls() {
    placementGroup_ = new QButtonGroup(this);
    const auto option = [this](int index) {
        const QString name = u"Option1_%1"_s.arg(index);
        const QString caption = QStringView(kPlacements[index].caption).toString();
        placementButtons_[index] = place(new QRadioButton(caption), *inputFrame_, at(name));
        placementGroup_->addButton(placementButtons_[index], index);
    };
    option(0);
    childTargetColumnList_ = list(*inputFrame_, at(u"Combo9"), columnLetters());
    place(new QLabel(u"之前"_s), *inputFrame_, at(u"Label7"));
    option(1);
    option(2);
    thirdPathBox_ = place(new QLineEdit, *inputFrame_, at(u"Text7"));
    thirdChooserButton_ = pickButton(*inputFrame_, at(u"Command5"));
    place(new QLabel(u"列"_s), *inputFrame_, at(u"Label9"));
    thirdTargetColumnList_ = list(*inputFrame_, at(u"Combo10"), columnLetters());
}

void Form1::createOptionControls() {
    optionsButton_ = pickButton(*inputFrame_, at(u"optionsButton"));
    optionsButton_->setText(u"选项…"_s);
    historyButton_ = pickButton(*inputFrame_, at(u"historyButton"));
    historyButton_->setText(u"运行记录…"_s);
    historyButton_->setToolTip(u"最近保存过文件的运行，可撤销"_s);
    optionsSummary_ = place(new QLabel, *inputFrame_, at(u"optionsSummary"));
    QPalette notice = optionsSummary_->palette();
    notice.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    optionsSummary_->setPalette(notice);
    connect(optionsButton_, &QPushButton::clicked, this, &Form1::showOptions);
    connect(historyButton_, &QPushButton::clicked, this, &Form1::showRunHistory);
    showOptionsSummary();
}

void Form1::showOptions() {
    OptionsWindow window(options_, *this);
    if (window.exec() != QDialog::Accepted) return;
    options_ = window.options();
    if (settings_) saveOptions(*settings_, options_);
    showOptionsSummary();
}

void Form1::showRunHistory() {
    RunHistoryWindow window(*this);
    window.exec();
}

// The options not at their defaults in one line, cut short with its whole text in the tool tip.
void Form1::showOptionsSummary() {
    const QString summary = QString::fromStdU16String(run::optionsSummary(options_));
    optionsSummary_->setText(
        optionsSummary_->fontMetrics().elidedText(summary, Qt::ElideRight, optionsSummary_->width()));
    optionsSummary_->setToolTip(summary);
}

// The first texts, the input filters and what each control does.
void Form1::setUpControls() {
    placementButtons_[0]->setChecked(true);
    for (QLineEdit* path : {parentPathBox_, childPathBox_, thirdPathBox_}) {
        path->setReadOnly(true);
        path->setText(QStringView(run::kNoFileChosen).toString());
    }
    parentSheetBox_->setText(u"1"_s);
    childSheetBox_->setText(u"1"_s);
    attachSheetNumberFilter(*parentSheetBox_);
    attachSheetNumberFilter(*childSheetBox_);
    new ConditionValidator(*parentConditionBox_);
    new ConditionValidator(*childConditionBox_);

    connect(parentMatchKindList_, &QComboBox::currentIndexChanged, this, &Form1::showParentCondition);
    connect(childMatchKindList_, &QComboBox::currentIndexChanged, this, &Form1::showChildCondition);
    connect(matchingList_, &QComboBox::currentIndexChanged, this, &Form1::showFurtherMatching);
    for (const auto& [button, path] : {std::pair{parentChooserButton_, parentPathBox_},
                                       {childChooserButton_, childPathBox_},
                                       {thirdChooserButton_, thirdPathBox_}}) {
        connect(button, &QPushButton::clicked, this, [this, path] { chooseFileInto(*path); });
        acceptWorkbookDrops(*path, [this, path](const QString& file) { takeWorkbook(*path, file); });
    }
    connect(helpButton_, &QPushButton::clicked, this, &Form1::showHelp);
    connect(startButton_, &QPushButton::clicked, this, &Form1::run);
}

void Form1::selectFirstEntries() {
    for (QComboBox* list : {parentKeyColumnList_, childKeyColumnList_, parentMatchKindList_,
                            childMatchKindList_, valueColumnList_, matchingList_, valueTestList_, whoseList_,
                            childTargetColumnList_, thirdTargetColumnList_})
        list->setCurrentIndex(0);
    // Filling a list already selected its first entry, so setting it again raised no change: the
    // handlers that depend on a list's position are run here.
    showParentCondition();
    showChildCondition();
    showFurtherMatching();
}

void Form1::showParentCondition() {
    parentConditionBox_->setVisible(chosen(kKeyMatches, parentMatchKindList_->currentIndex()) ==
                                    run::KeyMatch::Condition);
}

void Form1::showChildCondition() {
    childConditionBox_->setVisible(chosen(kKeyMatches, childMatchKindList_->currentIndex()) ==
                                   run::KeyMatch::Condition);
}

void Form1::showFurtherMatching() {
    furtherMatchingFrame_->setVisible(chosen(kMatchings, matchingList_->currentIndex()) ==
                                      run::Matching::FurtherMatching);
}

void Form1::chooseFileInto(QLineEdit& box) {
    // The program's own folder means nothing to a user: before any choice the dialog opens at home.
    const QString folder = lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_;
    if (const std::optional<QString> path = chooser_(*this, folder)) takeWorkbook(box, *path);
}

void Form1::takeWorkbook(QLineEdit& box, const QString& path) {
    box.setText(withoutTrailingSpaces(path));
    lastFolder_ = QFileInfo(box.text()).absolutePath();
}

void Form1::showHelp() {
    if (!form2_) form2_ = new Form2;
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
}

run::RunInputs Form1::inputs() const {
    run::RunInputs in;
    in.ignoreErrors = ignoreErrorsBox_->isChecked();
    in.parentPath = parentPathBox_->text().toStdU16String();
    in.parentSheet = parentSheetBox_->text().toStdU16String();
    in.parentKeyColumn = parentKeyColumnList_->currentIndex();
    in.parentMatchKind = chosen(kKeyMatches, parentMatchKindList_->currentIndex());
    in.parentCondition = parentConditionBox_->text().toStdU16String();
    in.childPath = childPathBox_->text().toStdU16String();
    in.childSheet = childSheetBox_->text().toStdU16String();
    in.childKeyColumn = childKeyColumnList_->currentIndex();
    in.childMatchKind = chosen(kKeyMatches, childMatchKindList_->currentIndex());
    in.childCondition = childConditionBox_->text().toStdU16String();
    in.valueColumn = valueColumnList_->currentIndex();
    in.matching = chosen(kMatchings, matchingList_->currentIndex());
    in.valueTest = chosen(kValueTests, valueTestList_->currentIndex());
    in.whose = chosen(kWhose, whoseList_->currentIndex());
    in.placement = chosen(kPlacements, placementGroup_->checkedId());
    in.childTargetColumn = childTargetColumnList_->currentIndex();
    in.childTargetLetter = childTargetColumnList_->currentText().toStdU16String();
    in.thirdPath = thirdPathBox_->text().toStdU16String();
    in.thirdTargetColumn = thirdTargetColumnList_->currentIndex();
    in.thirdTargetLetter = thirdTargetColumnList_->currentText().toStdU16String();
    in.options = options_;
    return in;
}

void Form1::run() {
    // A click that arrives before the run has disabled the button starts nothing.
    if (running_) return;
    const InputGuard guard(*this);
    running_ = true;
    runWindow_->runStarting();
    const std::optional<std::string> escaped = runOffThisThread(inputs());
    runWindow_->runEnded();
    running_ = false;
    if (escaped) {
        // A run reports its own failures; anything escaping it leaves the spreadsheet state unknown,
        // so it ends the program the way a failure under the stop-on-error policy does.
        qCritical("pellucor: run failed: %s", escaped->c_str());
        runWindow_->showMessage(std::u16string(run::kFailureText), std::u16string(run::kFailureTitle));
        runWindow_->endProgram();
    }
    if (runWindow_->takeEndRequest()) return endProgram();
    if (std::exchange(closeAfterRun_, false)) close();
}

// The run works on a thread of its own, which also creates, uses and destroys its spreadsheet
// application; this thread keeps the windows alive meanwhile and carries out what the run asks of
// them. Returns what escaped the run, if anything did.
std::optional<std::string> Form1::runOffThisThread(const run::RunInputs& in) {
    QEventLoop whileRunning;
    std::atomic<bool> finished = false;
    std::optional<std::string> escaped;
    std::thread worker([&] {
        try {
            runner_(in, keyCondition_, *runWindow_, factory_);
        } catch (const std::exception& e) {
            escaped = e.what();
        } catch (...) {
            escaped = "an unknown exception";
        }
        finished = true;
        QMetaObject::invokeMethod(&whileRunning, &QEventLoop::quit, Qt::QueuedConnection);
    });
    while (!finished) {
        if (whileRunning.exec() != -1) continue;
        // The application was told to exit: from now on every event loop returns at once. The run,
        // which may be waiting for the windows, is cancelled and served until it has returned, without
        // spinning; the exit follows.
        runWindow_->cancel();
        while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    return escaped;
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!running_) return QWidget::closeEvent(event);
    runWindow_->cancel();
    closeAfterRun_ = true;
    event->ignore();
}

void Form1::endProgram() {
    QApplication::closeAllWindows();
    QCoreApplication::exit(EXIT_FAILURE);
}

}  // namespace ui
