#pragma once

#include <string>

#include "sheets/run_history.h"

namespace run {

// What an undo tells the user: a short text and the details (files put back, files left alone and
// why, where the files as they were before the undo are kept).
struct UndoMessage {
    std::u16string text, detailed;
};
UndoMessage undoMessage(const sheets::UndoOutcome& outcome);

// A recorded run as the list of recent runs shows it.
struct RunEntry {
    std::u16string time;     // "2026-12-07 14:03:22"
    std::u16string files;    // "子表.xls、第三表.xls"
    std::u16string results;  // "子表.xls 第 1 个工作表（数据）C、D 列"
    std::u16string state;    // "", "已撤销", "撤销了 2026-12-07 14:03:22 的运行"
};
RunEntry runEntry(const sheets::RecordedRun& run);

}  // namespace run
