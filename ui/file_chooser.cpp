#include "ui/file_chooser.h"

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace ui {

namespace {

// What the spreadsheet application opens as a workbook, the Excel ones first.
const QStringList kWorkbookSuffixes{u"xls"_s, u"xlsx"_s, u"xlsm"_s, u"ods"_s, u"csv"_s};

// The one local workbook file that a drag carries, else an empty string.
QString draggedWorkbook(const QMimeData* data) {
    if (!data || data->urls().size() != 1) return {};
    const QFileInfo file(data->urls().first().toLocalFile());
    const bool workbook = file.isFile() && kWorkbookSuffixes.contains(file.suffix(), Qt::CaseInsensitive);
    return workbook ? file.absoluteFilePath() : QString();
}

// A read-only line edit refuses drops itself, so its drag events are taken before it sees them.
class WorkbookDrop : public QObject {
public:
    WorkbookDrop(QWidget& box, std::function<void(const QString&)> dropped)
        : QObject(&box), dropped_(std::move(dropped)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QString path = draggedWorkbook(drop->mimeData());
                if (path.isEmpty()) return drop->ignore(), true;
                drop->acceptProposedAction();
                if (event->type() == QEvent::Drop) dropped_(QDir::toNativeSeparators(path));
                return true;
            }
            default:
                return false;
        }
    }

private:
    std::function<void(const QString&)> dropped_;
};

// Qt's dialog takes the name in its name field by what its list has selected meanwhile: a full path
// typed where the dialog shows its folder is cut to the file's name, while the folders on the way
// stay selected, and the dialog then opens a folder instead of returning the file. A name (or full
// path) of an existing file is taken as it is.
class WorkbookDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    const QString& typedFile() const { return typedFile_; }

    void accept() override {
        const auto* name = findChild<QLineEdit*>(u"fileNameEdit"_s);
        const QString text = name ? name->text() : QString();
        const QFileInfo typed(text.isEmpty() ? QString() : directory().absoluteFilePath(text));
        if (typed.isFile()) {
            typedFile_ = typed.absoluteFilePath();
            return QDialog::accept();
        }
        QFileDialog::accept();
    }

private:
    QString typedFile_;
};

}  // namespace

std::optional<QString> chooseWorkbook(QWidget& owner, const QString& folder) {
    WorkbookDialog dialog(&owner, u"打开文件"_s, folder);
    dialog.setObjectName(QStringLiteral("openFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QString all = u"*."_s + kWorkbookSuffixes.join(u" *."_s);
    dialog.setNameFilters({u"Excel文档 (*.xls *.xlsx *.xlsm)"_s, u"所有支持的工作簿 (%1)"_s.arg(all),
                           u"Excel 97-2003 文档 (*.xls)"_s});
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    if (!dialog.typedFile().isEmpty()) return QDir::toNativeSeparators(dialog.typedFile());
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(files.first());
}

void acceptWorkbookDrops(QWidget& box, std::function<void(const QString&)> dropped) {
    box.setAcceptDrops(true);
    box.installEventFilter(new WorkbookDrop(box, std::move(dropped)));
}

QString withoutTrailingSpaces(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && path[end - 1] == u' ') --end;
    return path.left(end);
}

}  // namespace ui
