// The command line's options, each checked without any file being looked at.
#include <gtest/gtest.h>

#include <functional>

#include "cli/command_line.h"

namespace {

using Args = std::vector<std::string>;

Args runArgs(Args more) {
    Args args{"run", "--parent", "p.xlsx", "--child", "c.xlsx"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const cli::RunRequest& request(const cli::Command& c) {
    return std::get<cli::RunRequest>(c);
}

struct Accepted {
    Args more;
    std::function<bool(const cli::RunRequest&)> holds;
};

TEST(CommandLine, EachOptionReachesTheRunInputs) {
    using namespace run;
    const Accepted cases[] = {
        {{},
         [](const auto& r) {
             return r.inputs.parentSheet == u"1" && r.inputs.childSheet == u"1" &&
                    r.inputs.placement == Placement::IntoChildSheet && r.inputs.childTargetLetter == u"A" &&
                    r.inputs.matching == Matching::LookupAsResult && r.inputs.options == RunOptions{} &&
                    !r.inputs.ignoreErrors && !r.json && !r.stopOnError;
         }},
        {{"--parent-sheet", "3", "--child-sheet=2"},
         [](const auto& r) { return r.inputs.parentSheet == u"3" && r.inputs.childSheet == u"2"; }},
        {{"--parent-sheet", "数据", "--child-sheet", "2月"},
         [](const auto& r) {
             return r.parentSheetName == "数据" && r.inputs.parentSheet == u"1" && r.childSheetName == "2月";
         }},
        {{"--parent-key", "c", "--child-key", "D"},
         [](const auto& r) { return r.inputs.parentKeyColumn == 2 && r.inputs.childKeyColumn == 3; }},
        {{"--parent-key", "A,D", "--child-key", "A B"},
         [](const auto& r) {
             return r.inputs.options.moreParentKeyColumns == std::vector<int>{3} &&
                    r.inputs.options.moreChildKeyColumns == std::vector<int>{1};
         }},
        {{"--parent-key-condition", "??6*"},
         [](const auto& r) {
             return r.inputs.parentMatchKind == KeyMatch::Condition && r.inputs.parentCondition == u"??6*" &&
                    r.inputs.childMatchKind == KeyMatch::WholeWord;
         }},
        {{"--child-key-condition", "*3"}, [](const auto& r) { return r.inputs.childCondition == u"*3"; }},
        {{"--value", "B", "--also-value", "C,E"},
         [](const auto& r) {
             return r.inputs.valueColumn == 1 && r.inputs.options.moreValueColumns == std::vector<int>{2, 4};
         }},
        {{"--into-child-column", "C"},
         [](const auto& r) { return r.inputs.childTargetColumn == 2 && r.inputs.childTargetLetter == u"C"; }},
        {{"--into-workbook", "t.xls", "--column", "B"},
         [](const auto& r) {
             return r.inputs.placement == Placement::IntoThirdTable && r.inputs.thirdPath == u"t.xls" &&
                    r.inputs.thirdTargetColumn == 1 && r.inputs.thirdTargetLetter == u"B" &&
                    r.newWorkbook.empty();
         }},
        {{"--into-new-workbook", "out/new.xlsx"},
         [](const auto& r) {
             return r.inputs.placement == Placement::IntoThirdTable && r.newWorkbook == "out/new.xlsx" &&
                    r.inputs.thirdPath == u"out/new.xlsx" && r.inputs.thirdTargetColumn == 0;
         }},
        {{"--compare", "differ", "--keep", "both"},
         [](const auto& r) {
             return r.inputs.matching == Matching::FurtherMatching &&
                    r.inputs.valueTest == ValueTest::Differ && r.inputs.whose == Whose::Both;
         }},
        {{"--compare", "agree"},
         [](const auto& r) {
             return r.inputs.valueTest == ValueTest::Agree && r.inputs.whose == Whose::Parent;
         }},
        {{"--ignore-errors", "--ignore-width", "--ignore-case", "--ignore-invisible"},
         [](const auto& r) {
             return r.inputs.ignoreErrors && r.inputs.options.folding == KeyFolding::all();
         }},
        {{"--duplicates", "count"},
         [](const auto& r) { return r.inputs.options.duplicates == DuplicateKeys::Count; }},
        {{"--unmatched", "无"},
         [](const auto& r) {
             return r.inputs.options.unmatched == Unmatched::WriteText &&
                    r.inputs.options.unmatchedText == u"无";
         }},
        {{"--child", "folder", "--child", "*.xls", "--stop-on-error", "--json"},
         [](const auto& r) {
             return r.children == Args{"c.xlsx", "folder", "*.xls"} && r.stopOnError && r.json;
         }},
    };
    for (const auto& c : cases) {
        const cli::Command parsed = cli::parseCommand(runArgs(c.more));
        ASSERT_TRUE(std::holds_alternative<cli::RunRequest>(parsed)) << c.more.size() << " " << c.more[0];
        EXPECT_TRUE(c.holds(request(parsed))) << c.more[0];
    }
}

struct Refused {
    Args args;
    std::string option;  // the option the refusal names
};

TEST(CommandLine, RefusesNamingTheOption) {
    const Refused cases[] = {
        {{"run", "--child", "c.xlsx"}, "--parent"},
        {{"run", "--parent", "p.xlsx"}, "--child"},
        {runArgs({"--parent-sheet", "0"}), "--parent-sheet"},
        {runArgs({"--child-sheet", ""}), "--child-sheet"},
        {runArgs({"--parent-key", "AA"}), "--parent-key"},
        {runArgs({"--value", "1"}), "--value"},
        {runArgs({"--value"}), "--value"},
        {runArgs({"--also-value", ","}), "--also-value"},
        {runArgs({"--parent-key-condition", "abc"}), "--parent-key-condition"},
        {runArgs({"--child-key-condition", ""}), "--child-key-condition"},
        {runArgs({"--compare", "same"}), "--compare"},
        {runArgs({"--keep", "parent"}), "--keep"},
        {runArgs({"--compare", "agree", "--keep", "mine"}), "--keep"},
        {runArgs({"--duplicates", "some"}), "--duplicates"},
        {runArgs({"--compare", "agree", "--duplicates", "last"}), "--duplicates"},
        {runArgs({"--compare", "agree", "--also-value", "C"}), "--also-value"},
        {runArgs({"--parent-key", "A,B"}), "--child-key"},
        {runArgs({"--parent-key", "A,B,C,D", "--child-key", "A,B,C,D"}), "--parent-key"},
        {runArgs({"--into-child-column", "C", "--into-workbook", "t.xlsx"}), "--into-new-workbook"},
        {runArgs({"--into-workbook", "t.xlsx", "--into-new-workbook", "n.xlsx"}), "--into-new-workbook"},
        {runArgs({"--column", "B"}), "--column"},
        {runArgs({"--into-new-workbook", "n.xls"}), "--into-new-workbook"},
        {runArgs({"--value", "B", "--value", "C"}), "--value"},
        {runArgs({"--json=yes"}), "--json"},
        {runArgs({"--colour"}), "--colour"},
        {{"copy"}, "copy"},
        {{"undo", "--all"}, "--all"},
        {{"undo", "--list", "20261207"}, "20261207"},
    };
    for (const auto& c : cases) {
        const cli::Command parsed = cli::parseCommand(c.args);
        const auto* error = std::get_if<cli::OptionError>(&parsed);
        ASSERT_NE(error, nullptr) << c.option;
        EXPECT_EQ(error->option, c.option);
        EXPECT_FALSE(error->chinese.empty() || error->english.empty());
        const std::string text = cli::errorText(*error);
        EXPECT_NE(text.find("pellucor: " + c.option + "："), std::string::npos) << text;
        EXPECT_NE(text.find("\npellucor: " + c.option + ": "), std::string::npos) << text;
    }
}

TEST(CommandLine, HelpAndUndo) {
    EXPECT_TRUE(std::holds_alternative<cli::HelpRequest>(cli::parseCommand({"--help"})));
    EXPECT_TRUE(std::holds_alternative<cli::HelpRequest>(cli::parseCommand(runArgs({"--help"}))));
    EXPECT_TRUE(std::get<cli::UndoRequest>(cli::parseCommand({"undo", "--list"})).list);
    EXPECT_EQ(std::get<cli::UndoRequest>(cli::parseCommand({"undo", "r1"})).run, "r1");
    const auto last = std::get<cli::UndoRequest>(cli::parseCommand({"undo"}));
    EXPECT_TRUE(!last.list && last.run.empty());
}

}  // namespace
