#include "ui/option_settings.h"

#include <algorithm>

#include <QSettings>

#include "ui/options_window.h"

using namespace Qt::StringLiterals;

namespace ui {
namespace {

constexpr std::pair<run::DuplicateKeys, QLatin1StringView> kDuplicates[] = {
    {run::DuplicateKeys::First, "first"_L1},
    {run::DuplicateKeys::Last, "last"_L1},
    {run::DuplicateKeys::AllJoined, "all"_L1},
    {run::DuplicateKeys::Count, "count"_L1},
};

std::vector<int> keyColumns(const QString& text) {
    std::vector<int> columns = columnList(text);
    if (columns.size() > run::RunOptions::kMaxMoreKeyColumns)
        columns.resize(run::RunOptions::kMaxMoreKeyColumns);
    return columns;
}

}  // namespace

run::RunOptions loadOptions(QSettings& s) {
    run::RunOptions o;
    s.beginGroup(u"options"_s);
    o.folding = {s.value(u"widthFolding"_s).toBool(), s.value(u"caseFolding"_s).toBool(),
                 s.value(u"invisibleFolding"_s).toBool()};
    o.moreValueColumns = columnList(s.value(u"moreValueColumns"_s).toString());
    o.moreParentKeyColumns = keyColumns(s.value(u"moreParentKeyColumns"_s).toString());
    o.moreChildKeyColumns = keyColumns(s.value(u"moreChildKeyColumns"_s).toString());
    if (o.moreParentKeyColumns.size() != o.moreChildKeyColumns.size())
        o.moreParentKeyColumns.clear(), o.moreChildKeyColumns.clear();
    const QString duplicates = s.value(u"duplicates"_s).toString();
    for (const auto& [value, name] : kDuplicates)
        if (duplicates == name) o.duplicates = value;
    const QString text = s.value(u"unmatchedText"_s).toString();
    if (s.value(u"unmatched"_s).toString() == u"text"_s && !text.isEmpty()) {
        o.unmatched = run::Unmatched::WriteText;
        o.unmatchedText = text.toStdU16String();
    }
    s.endGroup();
    return o;
}

void saveOptions(QSettings& s, const run::RunOptions& o) {
    s.beginGroup(u"options"_s);
    s.setValue(u"widthFolding"_s, o.folding.width);
    s.setValue(u"caseFolding"_s, o.folding.letterCase);
    s.setValue(u"invisibleFolding"_s, o.folding.invisible);
    s.setValue(u"moreValueColumns"_s, columnListText(o.moreValueColumns));
    s.setValue(u"moreParentKeyColumns"_s, columnListText(o.moreParentKeyColumns));
    s.setValue(u"moreChildKeyColumns"_s, columnListText(o.moreChildKeyColumns));
    const auto duplicates = std::find_if(std::begin(kDuplicates), std::end(kDuplicates),
                                         [&](const auto& d) { return d.first == o.duplicates; });
    s.setValue(u"duplicates"_s, QString(duplicates->second));
    s.setValue(u"unmatched"_s, o.unmatched == run::Unmatched::WriteText ? u"text"_s : u"empty"_s);
    s.setValue(u"unmatchedText"_s, QString::fromStdU16String(o.unmatchedText));
    s.endGroup();
    s.sync();
}

}  // namespace ui
