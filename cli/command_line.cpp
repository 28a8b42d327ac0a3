#include "cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <optional>

#include "run/key_cut.h"
#include "run/run_options.h"
#include "sheets/utf8.h"

namespace cli {
namespace {

// The texts of a refusal, without the option's name.
struct Why {
    std::string chinese, english;
};

const Why kNeedsValue{"缺少取值", "needs a value"};
const Why kColumn{"列应为 A 到 Z 的一个字母", "expects one column letter, A to Z"};
const Why kSheet{"工作表应为从 1 起的位置或工作表的名称",
                 "expects a sheet position counted from 1 or a sheet name"};

// Thrown by a handler: the option it handles is refused.
struct Refused {
    Why why;
};

int columnOf(const std::string& text) {
    if (text.size() != 1) throw Refused{kColumn};
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (c < 'A' || c > 'Z') throw Refused{kColumn};
    return c - 'A';
}

// "A,D" or "A D": one column or several.
std::vector<int> columnsOf(const std::string& text) {
    std::vector<int> columns;
    std::string part;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ',' || text[i] == ' ') {
            if (!part.empty()) columns.push_back(columnOf(part));
            part.clear();
        } else {
            part += text[i];
        }
    }
    if (columns.empty()) throw Refused{kColumn};
    return columns;
}

// A position, or else a name, which leaves the position at 1 until the name is found.
std::u16string sheetOf(const std::string& text, std::string& name) {
    const bool digits = !text.empty() && text.size() <= 4 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (text.empty() || (digits && std::stoi(text) < 1)) throw Refused{kSheet};
    if (digits) return sheets::fromUtf8(text);
    name = text;
    return u"1";
}

std::u16string conditionOf(const std::string& text) {
    run::KeyCondition scratch;
    const std::u16string condition = sheets::fromUtf8(text);
    if (condition.empty() || !run::parseCondition(condition, scratch))
        throw Refused{{"条件格式有误（例如 ??6* 或 *3）", "is no valid condition (e.g. ??6* or *3)"}};
    return condition;
}

template <class Value>
Value oneOf(const std::string& text, const std::map<std::string, Value>& values) {
    const auto it = values.find(text);
    if (it != values.end()) return it->second;
    std::string names;
    for (const auto& [name, value] : values) names += (names.empty() ? "" : "|") + name;
    throw Refused{{"取值应为 " + names, "expects " + names}};
}

// The keys and where they were given, to check what goes together once all are read.
struct Seen {
    std::map<std::string, bool> given;
    std::vector<int> parentKeys{0}, childKeys{0};
    bool has(const std::string& option) const { return given.count(option) > 0; }
};

using Handler = std::function<void(RunRequest&, Seen&, const std::string&)>;

// What an option does; one that takes no value is given an empty one.
struct Option {
    bool takesValue;
    Handler handle;
};
using Options = std::vector<std::pair<std::string, Option>>;

// The tables: files, sheets and keys.
Options tableOptions() {
    return {
        {"--parent",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) { r.inputs.parentPath = sheets::fromUtf8(v); }}},
        {"--parent-sheet",
         {true, [](RunRequest& r, Seen&,
                   const std::string& v) { r.inputs.parentSheet = sheetOf(v, r.parentSheetName); }}},
        {"--parent-key",
         {true, [](RunRequest&, Seen& s, const std::string& v) { s.parentKeys = columnsOf(v); }}},
        {"--parent-key-condition",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.parentMatchKind = run::KeyMatch::Condition;
              r.inputs.parentCondition = conditionOf(v);
          }}},
        {"--child", {true, [](RunRequest& r, Seen&, const std::string& v) { r.children.push_back(v); }}},
        {"--child-sheet",
         {true, [](RunRequest& r, Seen&,
                   const std::string& v) { r.inputs.childSheet = sheetOf(v, r.childSheetName); }}},
        {"--child-key",
         {true, [](RunRequest&, Seen& s, const std::string& v) { s.childKeys = columnsOf(v); }}},
        {"--child-key-condition",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.childMatchKind = run::KeyMatch::Condition;
              r.inputs.childCondition = conditionOf(v);
          }}},
    };
}

// The values and where the result goes.
Options resultOptions() {
    return {
        {"--value",
         {true, [](RunRequest& r, Seen&, const std::string& v) { r.inputs.valueColumn = columnOf(v); }}},
        {"--also-value",
         {true, [](RunRequest& r, Seen&,
                   const std::string& v) { r.inputs.options.moreValueColumns = columnsOf(v); }}},
        {"--into-child-column",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.placement = run::Placement::IntoChildSheet;
              r.inputs.childTargetColumn = columnOf(v);
              r.inputs.childTargetLetter = run::columnLetters(columnOf(v));
          }}},
        {"--into-workbook",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.placement = run::Placement::IntoThirdTable;
              r.inputs.thirdPath = sheets::fromUtf8(v);
          }}},
        {"--column",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.thirdTargetColumn = columnOf(v);
              r.inputs.thirdTargetLetter = run::columnLetters(columnOf(v));
          }}},
        {"--into-new-workbook",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              const bool xlsx = v.size() > 5 && v.substr(v.size() - 5) == ".xlsx";
              if (!xlsx) throw Refused{{"新工作簿应为 .xlsx 文件", "expects an .xlsx file"}};
              r.newWorkbook = v;
              // The new file is the workbook the result goes into, from column A.
              r.inputs.placement = run::Placement::IntoThirdTable;
              r.inputs.thirdPath = sheets::fromUtf8(v);
          }}},
    };
}

// How keys and values are compared, and how the runs go.
Options runOptions() {
    return {
        {"--ignore-errors",
         {false, [](RunRequest& r, Seen&, const std::string&) { r.inputs.ignoreErrors = true; }}},
        {"--compare",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.matching = run::Matching::FurtherMatching;
              r.inputs.valueTest = oneOf<run::ValueTest>(
                  v, {{"agree", run::ValueTest::Agree}, {"differ", run::ValueTest::Differ}});
          }}},
        {"--keep",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.whose = oneOf<run::Whose>(
                  v,
                  {{"parent", run::Whose::Parent}, {"child", run::Whose::Child}, {"both", run::Whose::Both}});
          }}},
        {"--ignore-width",
         {false, [](RunRequest& r, Seen&, const std::string&) { r.inputs.options.folding.width = true; }}},
        {"--ignore-case",
         {false,
          [](RunRequest& r, Seen&, const std::string&) { r.inputs.options.folding.letterCase = true; }}},
        {"--ignore-invisible",
         {false,
          [](RunRequest& r, Seen&, const std::string&) { r.inputs.options.folding.invisible = true; }}},
        {"--duplicates",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.options.duplicates =
                  oneOf<run::DuplicateKeys>(v, {{"first", run::DuplicateKeys::First},
                                                {"last", run::DuplicateKeys::Last},
                                                {"all", run::DuplicateKeys::AllJoined},
                                                {"count", run::DuplicateKeys::Count}});
          }}},
        {"--unmatched",
         {true,
          [](RunRequest& r, Seen&, const std::string& v) {
              r.inputs.options.unmatched = run::Unmatched::WriteText;
              r.inputs.options.unmatchedText = sheets::fromUtf8(v);
          }}},
        {"--stop-on-error", {false, [](RunRequest& r, Seen&, const std::string&) { r.stopOnError = true; }}},
        {"--json", {false, [](RunRequest& r, Seen&, const std::string&) { r.json = true; }}},
    };
}

const std::map<std::string, Option>& handlers() {
    static const std::map<std::string, Option> table = [] {
        std::map<std::string, Option> all;
        for (const auto& group : {tableOptions(), resultOptions(), runOptions()})
            all.insert(group.begin(), group.end());
        return all;
    }();
    return table;
}

// The first option of `options` that was given, if any.
std::optional<std::string> firstGiven(const Seen& seen, std::initializer_list<const char*> options) {
    for (const char* o : options)
        if (seen.has(o)) return o;
    return std::nullopt;
}

// Options that each make sense on their own but not together, or not without another.
std::optional<OptionError> conflict(const RunRequest& r, const Seen& seen) {
    if (!seen.has("--parent")) return OptionError{"--parent", "必须指定父表", "is required"};
    if (r.children.empty())
        return OptionError{"--child", "必须至少指定一个子表", "is required at least once"};
    int placements = 0;
    for (const char* o : {"--into-child-column", "--into-workbook", "--into-new-workbook"})
        placements += seen.has(o);
    if (placements > 1)
        return OptionError{"--into-new-workbook",
                           "结果只能放在一处：--into-child-column、--into-workbook、--into-new-workbook 选一",
                           "conflicts with another placement: give one of --into-child-column, "
                           "--into-workbook, --into-new-workbook"};
    if (seen.has("--column") && !seen.has("--into-workbook"))
        return OptionError{"--column", "只用于 --into-workbook", "goes only with --into-workbook"};
    if (seen.has("--keep") && !seen.has("--compare"))
        return OptionError{"--keep", "只用于 --compare", "goes only with --compare"};
    if (const auto o = firstGiven(seen, {"--also-value", "--duplicates"}); o && seen.has("--compare"))
        return OptionError{*o, "只用于查找，不能与 --compare 同用",
                           "applies to lookups only, not with --compare"};
    if (seen.parentKeys.size() != seen.childKeys.size())
        return OptionError{"--child-key", "父表和子表的键列数应相同",
                           "must name as many key columns as --parent-key"};
    if (seen.parentKeys.size() > 1 + run::RunOptions::kMaxMoreKeyColumns)
        return OptionError{"--parent-key", "组合键最多三列", "takes at most three key columns"};
    return std::nullopt;
}

void takeKeys(RunRequest& r, const Seen& seen) {
    r.inputs.parentKeyColumn = seen.parentKeys.front();
    r.inputs.childKeyColumn = seen.childKeys.front();
    r.inputs.options.moreParentKeyColumns.assign(seen.parentKeys.begin() + 1, seen.parentKeys.end());
    r.inputs.options.moreChildKeyColumns.assign(seen.childKeys.begin() + 1, seen.childKeys.end());
}

// The option at args[i], as "--name=value" or "--name value"; i moves past its value.
std::optional<OptionError> takeOption(const std::vector<std::string>& args, std::size_t& i, RunRequest& r,
                                      Seen& seen) {
    std::string name = args[i], value;
    const auto equals = name.find('=');
    const bool inlineValue = name.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inlineValue) {
        value = name.substr(equals + 1);
        name.resize(equals);
    }
    const auto it = handlers().find(name);
    if (it == handlers().end())
        return OptionError{name, "不是可用的选项（见 pellucor --help）",
                           "is no option of pellucor run (see pellucor --help)"};
    const auto& [takesValue, handle] = it->second;
    if (takesValue && !inlineValue) {
        if (i + 1 == args.size()) return OptionError{name, kNeedsValue.chinese, kNeedsValue.english};
        value = args[++i];
    } else if (!takesValue && inlineValue) {
        return OptionError{name, "不带取值", "takes no value"};
    }
    if (seen.has(name) && name != "--child")
        return OptionError{name, "只能指定一次", "is given more than once"};
    try {
        handle(r, seen, value);
    } catch (const Refused& refused) {
        return OptionError{name, refused.why.chinese, refused.why.english};
    }
    seen.given[name] = true;
    return std::nullopt;
}

Command parseRun(const std::vector<std::string>& args) {
    RunRequest r;
    r.inputs.parentSheet = u"1";
    r.inputs.childSheet = u"1";
    Seen seen;
    for (std::size_t i = 0; i < args.size(); ++i)
        if (const auto error = takeOption(args, i, r, seen)) return *error;
    if (const auto error = conflict(r, seen)) return *error;
    takeKeys(r, seen);
    return r;
}

Command parseUndo(const std::vector<std::string>& args) {
    UndoRequest u;
    for (const std::string& a : args) {
        if (a == "--list" && !u.list && u.run.empty())
            u.list = true;
        else if (a.rfind("-", 0) != 0 && u.run.empty() && !u.list)
            u.run = a;
        else
            return OptionError{a, "pellucor undo 只接受 --list 或一个运行",
                               "pellucor undo takes --list or one run"};
    }
    return u;
}

}  // namespace

Command parseCommand(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") return HelpRequest{};
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "run") {
        if (std::find(rest.begin(), rest.end(), "--help") != rest.end()) return HelpRequest{};
        return parseRun(rest);
    }
    if (args[0] == "undo") return parseUndo(rest);
    return OptionError{args[0], "不是 pellucor 的命令：run、undo 或 --help",
                       "is no command of pellucor: run, undo or --help"};
}

std::string errorText(const OptionError& error) {
    return "pellucor: " + error.option + "：" + error.chinese + "\npellucor: " + error.option + ": " +
           error.english + "\n";
}

}  // namespace cli
