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
#include "ui/qt_run_window.h"
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

// The corners of the two frames within the window, in twips.
constexpr int kFrame1Left = 60, kFrame1Top = 0;
constexpr int kFrame2Left = 3210, kFrame2Top = 1950;

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

Form1::Form1(sheets::ApplicationFactory& factory, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint),
      factory_(factory),
      runner_(run::lookupRun),
      chooser_(chooseWorkbook) {
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Pellucor V2.1"_s);
    setFont(windowFont());
    createControls();
    runWindow_ = std::make_unique<QtRunWindow>(*this, *Frame1, *Command1);
    Form_Load();
}

Form1::~Form1() {
    delete form2_.data();
}

void Form1::createControls() {
    const int dpi = logicalDpiX();
    setFixedSize(twipsToPixels(5970, dpi), twipsToPixels(4275, dpi));

    // Positions are twips of the window; a control inside a frame is placed relative to the frame.
    struct Container {
        QWidget* widget;
        int left, top;
    };
    const auto place = [dpi](auto* w, const Container& in, QString name, int left, int top, int width,
                             int height) {
        w->setParent(in.widget);
        w->setObjectName(name);
        w->setGeometry(twipsRect(left, top, width, height, dpi, in.left, in.top));
        return w;
    };
    const Container window{this, 0, 0};

    Frame1 = place(new QGroupBox, window, u"Frame1"_s, kFrame1Left, kFrame1Top, 5835, 3735);
    const Container frame1{Frame1, kFrame1Left, kFrame1Top};

    const auto label = [&](int number, const QString& text, int left, int top, int width) {
        Label[number - 1] =
            place(new QLabel(text), frame1, u"Label%1"_s.arg(number), left, top, width, kLabelHeight);
    };
    const auto box = [&](const QString& name, int left, int top, int width) {
        return place(new QLineEdit, frame1, name, left, top, width, kBoxHeight);
    };
    const auto list = [&](const QString& name, const Container& in, int left, int top, int width,
                          const QStringList& entries) {
        QComboBox* c = place(new QComboBox, in, name, left, top, width, kBoxHeight);
        c->addItems(entries);
        return c;
    };
    const auto pick = [&](const QString& name, int left, int top) {
        QPushButton* b = place(new QPushButton(u"..."_s), frame1, name, left, top, kPickWidth, kBoxHeight);
        b->setAutoDefault(false);
        return b;
    };
    const QStringList letters = columnLetters();
    const QStringList matchKinds = captions(kKeyMatches);
    const QString sheetTip = u"对应Excel绝对页"_s;
    const QString conditionTip = u"通配符‘？’和‘*’,具体查看帮助"_s;

    // A table's two rows: its heading and workbook path with the "..." button; then the sheet
    // number, the key column, the match kind and the condition. The child's lie 930 twips lower
    // (900 for the second row) than the parent's.
    const auto table = [&](std::array<int, 3> labels, const QString& heading, std::array<QString, 6> names,
                           int top, int sheetTop) {
        label(labels[0], heading, 90, top + 60, 555);
        QLineEdit* path = box(names[0], 690, top, 4275);
        QPushButton* chooser = pick(names[1], 5010, top);
        label(labels[1], u"指定页"_s, 90, sheetTop + 30, 585);
        QLineEdit* sheet = place(new SelectAllLineEdit, frame1, names[2], 690, sheetTop, 615, kBoxHeight);
        sheet->setToolTip(sheetTip);
        label(labels[2], u"指定列"_s, 1380, sheetTop + 30, 600);
        QComboBox* column = list(names[3], frame1, 2010, sheetTop, kColumnListWidth, letters);
        QComboBox* kind = list(names[4], frame1, 2670, sheetTop, 1050, matchKinds);
        QLineEdit* condition = box(names[5], 3750, sheetTop, 1215);
        condition->setToolTip(conditionTip);
        return std::tuple{path, chooser, sheet, column, kind, condition};
    };
    std::tie(Text1, Command2, Text3, Combo1, Combo3, Text4) =
        table({1, 3, 4}, u"父表"_s,
              {u"Text1"_s, u"Command2"_s, u"Text3"_s, u"Combo1"_s, u"Combo3"_s, u"Text4"_s}, 240, 750);
    std::tie(Text2, Command3, Text5, Combo2, Combo4, Text6) =
        table({2, 5, 6}, u"子表"_s,
              {u"Text2"_s, u"Command3"_s, u"Text5"_s, u"Combo2"_s, u"Combo4"_s, u"Text6"_s}, 1170, 1650);

    // The value column and the way of matching.
    label(8, u"将匹配的指定列"_s, 90, 2190, 1335);
    Combo5 = list(u"Combo5"_s, frame1, 1440, 2130, kColumnListWidth, letters);
    Combo6 = list(u"Combo6"_s, frame1, 2100, 2130, 1065, captions(kMatchings));
    Frame2 = place(new QGroupBox, frame1, u"Frame2"_s, kFrame2Left, kFrame2Top, 2565, 585);
    const Container frame2{Frame2, kFrame2Left, kFrame2Top};
    // Within Frame2 the labels stand as high as the lists beside them, so their texts line up.
    const auto frameLabel = [&](int number, const QString& text, int left) {
        Label[number - 1] = place(new QLabel(text), frame2, u"Label%1"_s.arg(number), kFrame2Left + left,
                                  kFrame2Top + 180, 225, kBoxHeight);
    };
    frameLabel(10, u"将"_s, 60);
    Combo7 = list(u"Combo7"_s, frame2, kFrame2Left + 300, kFrame2Top + 180, 900, captions(kValueTests));
    frameLabel(11, u"的"_s, 1230);
    Combo8 = list(u"Combo8"_s, frame2, kFrame2Left + 1470, kFrame2Top + 180, 780, captions(kWhose));
    frameLabel(12, u"值"_s, 2280);

    // Where the result goes.
    Option1Group = new QButtonGroup(this);
    const auto option = [&](int index, int top, int width) {
        const QString text = QStringView(kPlacements[index].caption).toString();
        QRadioButton* r =
            place(new QRadioButton(text), frame1, u"Option1_%1"_s.arg(index), 150, top, width, kOptionHeight);
        Option1Group->addButton(r, index);
        Option1[index] = r;
    };
    option(0, 2670, 1455);
    Combo9 = list(u"Combo9"_s, frame1, 1620, 2640, kColumnListWidth, letters);
    label(7, u"之前"_s, 2310, 2700, 600);
    option(1, 2970, 1800);
    option(2, 3270, 1110);
    Option1[0]->setChecked(true);
    Text7 = box(u"Text7"_s, 1290, 3240, 2085);
    Command5 = pick(u"Command5"_s, 3420, 3240);
    label(9, u"列"_s, 4230, 3300, 225);
    Combo10 = list(u"Combo10"_s, frame1, 4470, 3240, kColumnListWidth, letters);

    // The bottom row, outside the frame that a run disables.
    Check1 =
        place(new QCheckBox(u"忽略格式产生的错误"_s), window, u"Check1"_s, 60, 3870, 2400, kOptionHeight);
    Command4 = place(new QPushButton(u"帮助"_s), window, u"Command4"_s, 3210, 3840, 1215, kButtonHeight);
    Command1 = place(new QPushButton(u"开始"_s), window, u"Command1"_s, 4590, 3840, 1215, kButtonHeight);

    for (QLineEdit* path : {Text1, Text2, Text7}) {
        path->setReadOnly(true);
        path->setText(QStringView(run::kNoFileChosen).toString());
    }
    Text3->setText(u"1"_s);
    Text5->setText(u"1"_s);
    attachSheetNumberFilter(*Text3);
    attachSheetNumberFilter(*Text5);
    new ConditionValidator(*Text4);
    new ConditionValidator(*Text6);

    connect(Combo3, &QComboBox::currentIndexChanged, this, &Form1::Combo3_Click);
    connect(Combo4, &QComboBox::currentIndexChanged, this, &Form1::Combo4_Click);
    connect(Combo6, &QComboBox::currentIndexChanged, this, &Form1::Combo6_Click);
    for (const auto& [button, path] : {std::pair{Command2, Text1}, {Command3, Text2}, {Command5, Text7}}) {
        connect(button, &QPushButton::clicked, this, [this, path] { chooseFileInto(*path); });
        acceptWorkbookDrops(*path, [this, path](const QString& file) { takeWorkbook(*path, file); });
    }
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
}

void Form1::Form_Load() {
    for (QComboBox* list : {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6, Combo7, Combo8, Combo9, Combo10})
        list->setCurrentIndex(0);
    // Filling a list already selected its first entry, so setting it again raised no change: the
    // handlers that depend on a list's position are run here.
    Combo3_Click();
    Combo4_Click();
    Combo6_Click();
}

void Form1::Combo3_Click() {
    Text4->setVisible(chosen(kKeyMatches, Combo3->currentIndex()) == run::KeyMatch::Condition);
}

void Form1::Combo4_Click() {
    Text6->setVisible(chosen(kKeyMatches, Combo4->currentIndex()) == run::KeyMatch::Condition);
}

void Form1::Combo6_Click() {
    Frame2->setVisible(chosen(kMatchings, Combo6->currentIndex()) == run::Matching::FurtherMatching);
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

void Form1::Command4_Click() {
    if (!form2_) form2_ = new Form2;
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
}

run::RunInputs Form1::inputs() const {
    run::RunInputs in;
    in.ignoreErrors = Check1->isChecked();
    in.parentPath = Text1->text().toStdU16String();
    in.parentSheet = Text3->text().toStdU16String();
    in.parentKeyColumn = Combo1->currentIndex();
    in.parentMatchKind = chosen(kKeyMatches, Combo3->currentIndex());
    in.parentCondition = Text4->text().toStdU16String();
    in.childPath = Text2->text().toStdU16String();
    in.childSheet = Text5->text().toStdU16String();
    in.childKeyColumn = Combo2->currentIndex();
    in.childMatchKind = chosen(kKeyMatches, Combo4->currentIndex());
    in.childCondition = Text6->text().toStdU16String();
    in.valueColumn = Combo5->currentIndex();
    in.matching = chosen(kMatchings, Combo6->currentIndex());
    in.valueTest = chosen(kValueTests, Combo7->currentIndex());
    in.whose = chosen(kWhose, Combo8->currentIndex());
    in.placement = chosen(kPlacements, Option1Group->checkedId());
    in.childTargetColumn = Combo9->currentIndex();
    in.childTargetLetter = Combo9->currentText().toStdU16String();
    in.thirdPath = Text7->text().toStdU16String();
    in.thirdTargetColumn = Combo10->currentIndex();
    in.thirdTargetLetter = Combo10->currentText().toStdU16String();
    return in;
}

void Form1::Command1_Click() {
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
    // The application being told to exit ends every event loop; the run may still be waiting for the
    // windows, so they go on until it has returned, and the exit follows.
    while (!finished) whileRunning.exec();
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
