#include "run/undo_texts.h"

#include "run/run_options.h"
#include "run/run_report.h"
#include "sheets/utf8.h"

namespace run {
namespace {

using Why = sheets::UndoOutcome::Refused::Why;

std::u16string text(const std::filesystem::path& path) {
    return sheets::fromUtf8(path.string());
}

std::u16string why(const sheets::UndoOutcome::Refused& r) {
    switch (r.why) {
        case Why::Changed:
            return u"运行后该文件已被修改，为免覆盖其内容未恢复";
        case Why::BackupGone:
            return u"它的备份已不存在";
        case Why::Failed:
            break;
    }
    return causeText({"put the file back", r.detail, r.cause, {}});
}

// "2026-12-07_14-03-22" and "2026-12-07_14-03-22-2" as "2026-12-07 14:03:22".
std::u16string timeOf(const std::string& folderName) {
    if (folderName.size() < 19) return sheets::fromUtf8(folderName);
    std::string t = folderName.substr(0, 19);
    t[10] = ' ', t[13] = ':', t[16] = ':';
    return sheets::fromUtf8(t);
}

std::u16string columnsText(const sheets::ResultColumns& r) {
    std::u16string out;
    for (int c = r.firstColumn; c < r.firstColumn + r.count; ++c)
        out += (c > r.firstColumn ? u"、" : u"") + columnLetters(c - 1);
    return out;
}

}  // namespace

UndoMessage undoMessage(const sheets::UndoOutcome& o) {
    UndoMessage m;
    m.text = o.refused.empty()    ? u"已撤销此次运行，它保存过的文件已恢复原样。"
             : o.restored.empty() ? u"未能撤销此次运行，文件均未改动。"
                                  : u"只撤销了此次运行的一部分：有的文件未能恢复。";
    for (const auto& file : o.restored) m.detailed += u"已恢复：" + text(file) + u"\n";
    for (const auto& r : o.refused) m.detailed += u"未恢复：" + text(r.file) + u"（" + why(r) + u"）\n";
    if (!o.restored.empty()) m.detailed += u"撤销前的文件已备份到：" + text(o.backupFolder) + u"\n";
    if (!m.detailed.empty()) m.detailed.pop_back();
    return m;
}

RunEntry runEntry(const sheets::RecordedRun& run) {
    RunEntry e;
    e.time = timeOf(run.folder.filename().string());
    for (const auto& f : run.files) {
        const std::u16string name = text(f.original.filename());
        e.files += (e.files.empty() ? u"" : u"、") + name;
        for (const auto& r : f.results)
            e.results += (e.results.empty() ? u"" : u"；") + name + u" 第 " +
                         sheets::fromUtf8(std::to_string(r.sheetPosition)) + u" 个工作表" +
                         (r.sheetName.empty() ? u"" : u"（" + r.sheetName + u"）") + u" " + columnsText(r) +
                         u" 列";
    }
    if (!run.undoes.empty()) e.state = u"撤销了 " + timeOf(run.undoes) + u" 的运行";
    if (run.undone) e.state += (e.state.empty() ? u"" : u"，") + std::u16string(u"已撤销");
    return e;
}

}  // namespace run
