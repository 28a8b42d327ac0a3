#include "ui/options_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "ui/look.h"

using namespace Qt::StringLiterals;

namespace ui {
namespace {

// What a lookup takes of a duplicate key's rows, in the order of the window's buttons.
constexpr run::DuplicateKeys kDuplicates[] = {run::DuplicateKeys::First, run::DuplicateKeys::Last,
                                              run::DuplicateKeys::AllJoined, run::DuplicateKeys::Count};

QGroupBox* group(const QString& title, QLayout* layout) {
    auto* box = new QGroupBox(title);
    box->setLayout(layout);
    return box;
}

template <class Widget>
Widget* named(Widget* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

// "无" then the column letters; entry i + 1 is column i.
QComboBox* keyColumnList(const QString& name) {
    auto* list = named(new QComboBox, name);
    list->addItem(u"无"_s);
    for (char16_t c = u'A'; c <= u'Z'; ++c) list->addItem(QString(QChar(c)));
    return list;
}

// The chosen columns of two lists, "无" left out.
std::vector<int> chosenColumns(const std::array<QComboBox*, 2>& lists) {
    std::vector<int> columns;
    for (const QComboBox* list : lists)
        if (list->currentIndex() > 0) columns.push_back(list->currentIndex() - 1);
    return columns;
}

void showColumns(const std::array<QComboBox*, 2>& lists, const std::vector<int>& columns) {
    for (std::size_t i = 0; i < lists.size(); ++i)
        lists[i]->setCurrentIndex(i < columns.size() ? columns[i] + 1 : 0);
}

QRadioButton* choice(QButtonGroup& group, QLayout& layout, const QString& caption, const QString& name) {
    auto* button = named(new QRadioButton(caption), name);
    group.addButton(button, static_cast<int>(group.buttons().size()));
    layout.addWidget(button);
    return button;
}

}  // namespace

QString columnListText(const std::vector<int>& columns) {
    QStringList letters;
    for (const int c : columns) letters << QString::fromStdU16String(run::columnLetters(c));
    return letters.join(u' ');
}

std::vector<int> columnList(const QString& text) {
    std::vector<int> columns;
    for (const QChar c : text.toUpper())
        if (c >= u'A' && c <= u'Z') columns.push_back(c.unicode() - u'A');
    return columns;
}

OptionsWindow::OptionsWindow(const run::RunOptions& options, QWidget& owner) : QDialog(&owner) {
    setObjectName(u"optionsWindow"_s);
    setWindowTitle(u"选项"_s);
    setFont(windowFont());
    auto* layout = new QGridLayout(this);
    layout->addWidget(keyComparison(), 0, 0);
    layout->addWidget(compositeKeys(), 1, 0);
    layout->addWidget(moreValueColumns(), 2, 0);
    layout->addWidget(duplicateKeys(), 0, 1, 2, 1);
    layout->addWidget(unmatchedRows(), 2, 1);
    auto* buttons = new QDialogButtonBox;
    named(buttons->addButton(u"确定"_s, QDialogButtonBox::AcceptRole), u"ok"_s);
    named(buttons->addButton(u"取消"_s, QDialogButtonBox::RejectRole), u"cancel"_s);
    QPushButton* defaults =
        named(buttons->addButton(u"恢复默认"_s, QDialogButtonBox::ResetRole), u"defaults"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, [this] { setOptions({}); });
    layout->addWidget(buttons, 3, 0, 1, 2);
    setOptions(options);
    setFixedSize(sizeHint());
}

QWidget* OptionsWindow::keyComparison() {
    auto* layout = new QVBoxLayout;
    widthFolding_ = named(new QCheckBox(u"全角半角视为相同"_s), u"widthFolding"_s);
    caseFolding_ = named(new QCheckBox(u"忽略大小写"_s), u"caseFolding"_s);
    invisibleFolding_ = named(new QCheckBox(u"忽略不可见字符"_s), u"invisibleFolding"_s);
    invisibleFolding_->setToolTip(u"不换行空格等特殊空格、零宽字符和字节顺序标记（BOM）"_s);
    for (QWidget* w : {widthFolding_, caseFolding_, invisibleFolding_}) layout->addWidget(w);
    return group(u"键的比较"_s, layout);
}

QWidget* OptionsWindow::compositeKeys() {
    auto* layout = new QGridLayout;
    for (int i = 0; i < 2; ++i) {
        moreParentKeyColumns_[i] = keyColumnList(u"parentKeyColumn%1"_s.arg(i + 2));
        moreChildKeyColumns_[i] = keyColumnList(u"childKeyColumn%1"_s.arg(i + 2));
        layout->addWidget(moreParentKeyColumns_[i], 0, i + 1);
        layout->addWidget(moreChildKeyColumns_[i], 1, i + 1);
    }
    layout->addWidget(new QLabel(u"父表另加键列"_s), 0, 0);
    layout->addWidget(new QLabel(u"子表另加键列"_s), 1, 0);
    return group(u"组合键"_s, layout);
}

QWidget* OptionsWindow::moreValueColumns() {
    auto* layout = new QVBoxLayout;
    moreValueColumns_ = named(new QLineEdit, u"moreValueColumns"_s);
    moreValueColumns_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"[A-Za-z ,，、]*"_s), moreValueColumns_));
    moreValueColumns_->setPlaceholderText(u"父表的列，例如 D F H"_s);
    moreValueColumns_->setToolTip(u"作为结果时，按填写的顺序写在结果列的右边"_s);
    layout->addWidget(moreValueColumns_);
    QWidget* box = group(u"另外取回的列"_s, layout);
    box->setToolTip(u"用于“作为结果”"_s);
    return box;
}

QWidget* OptionsWindow::duplicateKeys() {
    auto* layout = new QVBoxLayout;
    duplicates_ = new QButtonGroup(this);
    choice(*duplicates_, *layout, u"取第一行"_s, u"firstRow"_s);
    choice(*duplicates_, *layout, u"取最后一行"_s, u"lastRow"_s);
    choice(*duplicates_, *layout, u"全部取回，用“、”连接"_s, u"allRows"_s);
    choice(*duplicates_, *layout, u"计数"_s, u"countRows"_s);
    layout->addStretch();
    QWidget* box = group(u"父表中重复的键"_s, layout);
    box->setToolTip(u"用于“作为结果”；“进行匹配”仍取值符合条件的第一行"_s);
    return box;
}

QWidget* OptionsWindow::unmatchedRows() {
    auto* layout = new QVBoxLayout;
    unmatched_ = new QButtonGroup(this);
    choice(*unmatched_, *layout, u"留空"_s, u"leaveEmpty"_s);
    auto* row = new QHBoxLayout;
    QRadioButton* write = choice(*unmatched_, *row, u"写入文字"_s, u"writeText"_s);
    unmatchedText_ = named(new QLineEdit, u"unmatchedText"_s);
    row->addWidget(unmatchedText_);
    layout->addLayout(row);
    connect(write, &QRadioButton::toggled, unmatchedText_, &QWidget::setEnabled);
    return group(u"没有匹配时"_s, layout);
}

void OptionsWindow::setOptions(const run::RunOptions& o) {
    widthFolding_->setChecked(o.folding.width);
    caseFolding_->setChecked(o.folding.letterCase);
    invisibleFolding_->setChecked(o.folding.invisible);
    moreValueColumns_->setText(columnListText(o.moreValueColumns));
    showColumns(moreParentKeyColumns_, o.moreParentKeyColumns);
    showColumns(moreChildKeyColumns_, o.moreChildKeyColumns);
    for (std::size_t i = 0; i < std::size(kDuplicates); ++i)
        if (kDuplicates[i] == o.duplicates) duplicates_->button(static_cast<int>(i))->setChecked(true);
    const bool write = o.unmatched == run::Unmatched::WriteText;
    unmatched_->button(write ? 1 : 0)->setChecked(true);
    unmatchedText_->setEnabled(write);
    unmatchedText_->setText(write ? QString::fromStdU16String(o.unmatchedText) : u"无"_s);
}

run::RunOptions OptionsWindow::options() const {
    run::RunOptions o;
    o.folding = {widthFolding_->isChecked(), caseFolding_->isChecked(), invisibleFolding_->isChecked()};
    o.moreValueColumns = columnList(moreValueColumns_->text());
    o.moreParentKeyColumns = chosenColumns(moreParentKeyColumns_);
    o.moreChildKeyColumns = chosenColumns(moreChildKeyColumns_);
    o.duplicates = kDuplicates[std::max(0, duplicates_->checkedId())];
    // No text to write is no mark at all.
    if (unmatched_->checkedId() == 1 && !unmatchedText_->text().isEmpty()) {
        o.unmatched = run::Unmatched::WriteText;
        o.unmatchedText = unmatchedText_->text().toStdU16String();
    }
    return o;
}

void OptionsWindow::accept() {
    const run::RunOptions o = options();
    if (o.moreParentKeyColumns.size() != o.moreChildKeyColumns.size()) {
        QMessageBox box(QMessageBox::Warning, u"提示"_s, u"父表和子表另加的键列数目必须相同"_s,
                        QMessageBox::NoButton, this);
        box.addButton(u"确定"_s, QMessageBox::AcceptRole);
        box.exec();
        return;
    }
    QDialog::accept();
}

}  // namespace ui
