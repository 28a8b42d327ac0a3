#include "ui/file_chooser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>

using namespace Qt::StringLiterals;

namespace ui {

std::optional<QString> chooseWorkbook(QWidget& owner) {
    QFileDialog dialog(&owner, u"打开文件"_s, QCoreApplication::applicationDirPath());
    dialog.setObjectName(QStringLiteral("openFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({u"Excel文档 (*.xls)"_s, u"所有支持的工作簿 (*.xls *.xlsx *.ods *.csv)"_s});
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(files.first());
}

QString withoutTrailingSpaces(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && path[end - 1] == u' ') --end;
    return path.left(end);
}

}  // namespace ui
