#include "run/run_report.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "run/composite_key.h"
#include "run/key_collection.h"

namespace run {
namespace {

using Kind = sheets::FailureCause::Kind;
using Feature = sheets::StoreReport::Feature;

std::u16string number(long long n) {
    const std::string digits = std::to_string(n);
    return {digits.begin(), digits.end()};
}

// Developer details are ASCII apart from paths; they are shown byte for byte only as a last resort.
std::u16string widened(std::string_view s) {
    std::u16string out;
    for (const char c : s)
        out.push_back(static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'?');
    return out;
}

std::u16string sheetPosition(double position) {
    if (std::isfinite(position) && position == std::floor(position) && std::abs(position) < 1e9)
        return number(static_cast<long long>(position));
    return widened(std::to_string(position));
}

std::u16string systemErrorText(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return u"磁盘空间不足";
        case EACCES:
        case EPERM:
            return u"权限不足";
        case EROFS:
            return u"文件系统只读";
        case ENOENT:
            return u"文件不存在";
        default:
            return u"系统错误：" + widened(std::strerror(error));
    }
}

// "文件正由 Microsoft Excel（用户 张三）打开，请先在该程序中关闭它"
std::u16string heldText(const sheets::FailureCause& c) {
    std::vector<std::u16string> who;
    if (!c.user.empty()) who.push_back(u"用户 " + c.user);
    if (!c.since.empty()) who.push_back(u"自 " + c.since + u" 起");
    std::u16string text = u"文件正由 " + (c.program.empty() ? std::u16string(u"其他程序") : c.program);
    for (std::size_t i = 0; i < who.size(); ++i) text += (i ? u"，" : u"（") + who[i];
    return text + (who.empty() ? u" " : u"）") + u"打开，请先在该程序中关闭它";
}

}  // namespace

std::u16string causeText(const StepFailure& f) {
    const sheets::FailureCause& c = f.cause;
    switch (c.kind) {
        case Kind::FileMissing:
            return u"文件不存在";
        case Kind::NotAWorkbook:
            return u"不是有效的工作簿（文件为空，或内容与扩展名不符）";
        case Kind::NoSuchSheet:
            return u"工作簿只有 " + number(c.sheetCount) + u" 个工作表，没有第 " +
                   sheetPosition(c.sheetPosition) + u" 个";
        case Kind::ErrorValue:
            return u"单元格 " + c.cell + u" 的值是错误值" +
                   (c.errorValue.empty() ? u"" : u" " + c.errorValue) + u"，无法转为文本";
        case Kind::ReadOnly:
            return u"文件只读";
        case Kind::NoSpace:
            return u"磁盘空间不足";
        case Kind::NoPermission:
            return u"权限不足";
        case Kind::NoFile:
            return u"新工作簿没有文件，无法保存";
        case Kind::BackupFailed:
            return u"无法先备份该文件（" + systemErrorText(c.systemError) + u"），为保护原文件未保存";
        case Kind::NeverObtained:
            return u"前面的步骤失败，所需的工作簿或工作表未能取得";
        case Kind::Damaged:
            return u"文件已损坏，无法完整读取";
        case Kind::FileChanged:
            return u"运行期间文件已被其他程序修改，为免覆盖其内容未保存";
        case Kind::HeldByProgram:
            return heldText(c);
        case Kind::FolderReadOnly:
            return u"文件所在的文件夹不可写入";
        case Kind::OfficeStalled:
            return u"LibreOffice 在 " + number(c.seconds) + u" 秒内没有任何进展，已将其结束";
        case Kind::Unknown:
            break;
    }
    if (f.step == kParseStep) return u"条件中的数字超出 -32768 到 32767 的范围";
    if (f.step == kCutKeyStep && !c.cell.empty())
        return u"单元格 " + c.cell + u" 按条件截取键时长度为负或起始位置小于 1";
    return u"原因不明（技术细节：" + widened(f.detail) + u"）";
}

namespace {

std::u16string featureName(Feature f) {
    static constexpr std::pair<Feature, std::u16string_view> names[] = {
        {Feature::PivotTables, u"数据透视表"},
        {Feature::Tables, u"表格（数据库区域）"},
        {Feature::ConditionalFormats, u"条件格式"},
        {Feature::Charts, u"图表"},
        {Feature::Comments, u"批注"},
        {Feature::Macros, u"宏"},
        {Feature::FormControls, u"表单控件"},
    };
    for (const auto& [feature, name] : names)
        if (feature == f) return std::u16string(name);
    return {};
}

std::u16string joined(const std::vector<std::u16string>& parts, std::u16string_view separator) {
    std::u16string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? std::u16string(separator) : u"") + parts[i];
    return out;
}

// "全角/半角、大小写"
std::u16string differencesText(KeyFolding d) {
    std::vector<std::u16string> names;
    if (d.width) names.push_back(u"全角/半角");
    if (d.letterCase) names.push_back(u"大小写");
    if (d.invisible) names.push_back(u"不可见字符");
    return joined(names, u"、");
}

void nearMissesText(const NearMisses& m, std::u16string& out) {
    if (m.count == 0) return;
    std::vector<std::u16string> kinds;
    for (const KeyFolding d : {KeyFolding{true, false, false},
                               {false, true, false},
                               {false, false, true},
                               {true, true, false},
                               {true, false, true},
                               {false, true, true},
                               KeyFolding::all()})
        if (const std::size_t n = m.byDifferences[NearMisses::differenceIndex(d)])
            kinds.push_back(differencesText(d) + u" " + number(static_cast<long long>(n)) + u" 行");
    out += u"父表中没有该键的行中，有 " + number(static_cast<long long>(m.count)) +
           u" 行的键与父表的键仅全角/半角、大小写或不可见字符不同（" + joined(kinds, u"，") +
           u"），可在“选项”中将这些差别视为相同，例如：\n";
    for (const auto& e : m.examples)
        out += u"  子表第 " + number(e.childRow) + u" 行 \"" + e.childKey + u"\" 与父表第 " +
               number(e.parentRow) + u" 行 \"" + e.parentKey + u"\" 仅" + differencesText(e.differences) +
               u"不同\n";
}

std::u16string takenText(DuplicateKeys taken) {
    switch (taken) {
        case DuplicateKeys::Last:
            return u"匹配时取最后出现的一行";
        case DuplicateKeys::AllJoined:
            return u"查找时全部取回";
        case DuplicateKeys::Count:
            return u"查找时计数";
        case DuplicateKeys::First:
            break;
    }
    return u"匹配时取最先出现的一行";
}

void countsText(const MatchCounts& c, std::u16string& out) {
    out += u"子表 " + number(c.childRows) + u" 行：得到结果 " + number(c.matched) + u" 行";
    if (c.matchedEmpty) out += u"（其中 " + number(c.matchedEmpty) + u" 行父表的值为空）";
    out += u"，没有结果 " + number(c.emptyKey + c.keyNotInParent + c.noPassingRow) + u" 行";
    std::vector<std::u16string> causes;
    if (c.emptyKey) causes.push_back(u"键为空 " + number(c.emptyKey) + u" 行");
    if (c.keyNotInParent) causes.push_back(u"父表中没有该键 " + number(c.keyNotInParent) + u" 行");
    if (c.noPassingRow) causes.push_back(u"父表中没有值符合条件的行 " + number(c.noPassingRow) + u" 行");
    if (!causes.empty()) out += u"（" + joined(causes, u"，") + u"）";
    out += u"。\n";
    nearMissesText(c.nearMisses, out);
    out += u"父表 " + number(c.parentRows) + u" 行";
    if (c.duplicateKeys == 0) {
        out += u"，没有重复的键。\n";
        return;
    }
    out += u"：" + number(c.duplicateKeys) + u" 个键出现多次，多出 " + number(c.duplicateRows) + u" 行（" +
           takenText(c.taken) + u"），例如：\n";
    for (const auto& d : c.examples) {
        std::vector<std::u16string> rows;
        for (const auto r : d.rows) rows.push_back(number(r));
        out += u"  " + d.key + u"：第 " + joined(rows, u"、") + u" 行\n";
    }
}

void skippedText(const RunSummary& s, std::u16string& out) {
    if (s.skippedCount == 0) return;
    out += u"忽略的错误 " + number(static_cast<long long>(s.skippedCount)) + u" 处";
    out += s.skippedCount > s.skipped.size()
               ? u"，前 " + number(static_cast<long long>(s.skipped.size())) + u" 处：\n"
               : std::u16string(u"：\n");
    for (const auto& f : s.skipped) out += u"  " + f.stage + u"：" + causeText(f) + u"\n";
}

void storesText(const RunSummary& s, std::u16string& out) {
    if (!s.officeBecause.empty()) out += u"本次由 LibreOffice 读写工作簿，因为" + s.officeBecause + u"。\n";
    if (s.destination) {
        const Destination& d = *s.destination;
        const bool saved = std::any_of(s.stores.begin(), s.stores.end(), [&](const sheets::StoreReport& r) {
            return r.how != sheets::StoreReport::How::NotStored && fileNameOf(r.path) == d.file;
        });
        out += u"结果写入：" + (d.file.empty() ? std::u16string(u"新工作簿") : d.file) + u"，第 " + d.sheet +
               u" 个工作表，" + d.columns + u" 列" + (saved ? u"。\n" : u"，未保存。\n");
    }
    for (const auto& store : s.stores) {
        if (store.how == sheets::StoreReport::How::NotStored) continue;
        const bool inPlace = store.how == sheets::StoreReport::How::InPlace;
        out +=
            u"已保存：" + store.path + (inPlace ? u"（直接写入文件）" : u"（由 LibreOffice 保存）") + u"\n";
        if (!store.notInPlaceBecause.empty())
            out += u"未能直接写入文件，因为" + store.notInPlaceBecause + u"。\n";
        if (!store.backupPath.empty()) out += u"原文件的备份：" + store.backupPath + u"\n";
        if (inPlace || store.features.empty()) continue;
        std::vector<std::u16string> names;
        for (const auto f : store.features) names.push_back(featureName(f));
        out += u"该工作簿含有" + joined(names, u"、") +
               u"，LibreOffice 保存时可能改变它们，请核对；需要时可从备份恢复。\n";
    }
}

}  // namespace

std::u16string fileNameOf(const std::u16string& path) {
    const auto slash = path.find_last_of(u"/\\");
    if (slash == std::u16string::npos || slash + 1 == path.size()) return path;
    return path.substr(slash + 1);
}

MatchCounts countMatches(const MatchTables& t, const std::vector<std::int32_t>& rows,
                         const KeyComparison& how, const std::function<void()>& counted) {
    const KeyCensus census = keyCensus(t, MatchCounts::kExamples);
    ShownKeys shown = how.shown;
    if (shown.parentKeys.empty() && shown.childKeys.empty())
        shown = {t.parentKeys, t.childKeys, shown.composite};
    MatchCounts c;
    c.childRows = rows.size();
    c.parentRows = t.parentKeys.size();
    c.duplicateKeys = census.duplicateKeys;
    c.duplicateRows = census.duplicateRows;
    c.taken = how.taken;
    // The rows of the example keys, from their first on: a pass over the parent keys after it.
    for (const std::int32_t first : census.duplicateFirstRows)
        c.examples.push_back({shownKey(shown.parentKeys[static_cast<std::size_t>(first)], shown.composite),
                              {static_cast<std::int32_t>(first + 1)}});
    const std::size_t from = census.duplicateFirstRows.empty()
                                 ? t.parentKeys.size()
                                 : static_cast<std::size_t>(census.duplicateFirstRows.front()) + 1;
    for (std::size_t p = from; p < t.parentKeys.size(); ++p)
        for (auto& example : c.examples) {
            const auto first = static_cast<std::size_t>(example.rows.front() - 1);
            if (example.rows.size() < MatchCounts::kExamples && p > first &&
                t.parentKeys[first] == t.parentKeys[p])
                example.rows.push_back(static_cast<std::int32_t>(p + 1));
        }
    // A count or all the rows of a key: whether the first row's value is empty says nothing.
    const bool oneRowTaken = how.taken == DuplicateKeys::First || how.taken == DuplicateKeys::Last;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r] != kNoRow) {
            ++c.matched;
            const auto p = static_cast<std::size_t>(rows[r]);
            if (oneRowTaken && t.childValues.empty() &&
                (p >= t.parentValues.size() || t.parentValues[p].empty()))
                ++c.matchedEmpty;
        } else if (r >= t.childKeys.size() || t.childKeys[r].empty()) {
            ++c.emptyKey;
        } else if (!census.inParent[r]) {
            ++c.keyNotInParent;
        } else {
            ++c.noPassingRow;
        }
    }
    counted();
    if (c.keyNotInParent) c.nearMisses = findNearMisses(t, census.inParent, how.folded, shown);
    return c;
}

std::u16string notStorableText(std::u16string_view role, const sheets::FailureCause& cause) {
    return std::u16string(role) + u" " + cause.file + u" 无法保存结果：" +
           causeText(StepFailure{{}, {}, cause, {}});
}

std::u16string reasonText(const StepFailure& failure) {
    std::u16string out;
    if (!failure.stage.empty()) out += u"步骤：" + failure.stage + u"\n";
    return out + u"原因：" + causeText(failure);
}

std::u16string informativeText(const RunSummary& s) {
    std::u16string out;
    const bool stored = std::any_of(s.stores.begin(), s.stores.end(), [](const sheets::StoreReport& r) {
        return r.how != sheets::StoreReport::How::NotStored;
    });
    if (s.cancelledWhileSaving && stored) out = u"取消时已开始保存，结果已保存";
    if (!s.notPlaced) return out;
    const NotPlaced& n = *s.notPlaced;
    const StepFailure& why = n.failure.cause.kind == Kind::NeverObtained ? n.ownFailure : n.failure;
    const std::u16string where = n.file.empty() ? std::u16string(u"新工作簿") : n.file;
    return out + (out.empty() ? u"" : u"\n") + (n.saving ? u"结果未能保存到 " : u"结果未能写入 ") + where +
           u"：" + causeText(why);
}

std::u16string summaryText(const RunSummary& s) {
    std::u16string out;
    if (!s.options.empty()) out += s.options + u"\n";
    if (s.counts) countsText(*s.counts, out);
    skippedText(s, out);
    storesText(s, out);
    if (!out.empty() && out.back() == u'\n') out.pop_back();
    return out;
}

}  // namespace run
