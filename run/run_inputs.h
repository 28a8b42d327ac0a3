#pragma once

#include <string>

#include "run/matching.h"
#include "run/run_options.h"

namespace run {

enum class KeyMatch { WholeWord, Condition };             // Combo3, Combo4: "全字匹配", "条件"
enum class Matching { LookupAsResult, FurtherMatching };  // Combo6: "作为结果", "进行匹配"
enum class Placement { IntoChildSheet, IntoNewWorkbook, IntoThirdTable };  // Option1(0), (1), (2)

// The main window's inputs, read once when the run starts. Column positions count from 0.
struct RunInputs {
    bool ignoreErrors = false;  // Check1 ticked

    std::u16string parentPath;                       // Text1
    std::u16string parentSheet;                      // Text3
    int parentKeyColumn = 0;                         // Combo1
    KeyMatch parentMatchKind = KeyMatch::WholeWord;  // Combo3
    std::u16string parentCondition;                  // Text4

    std::u16string childPath;                       // Text2
    std::u16string childSheet;                      // Text5
    int childKeyColumn = 0;                         // Combo2
    KeyMatch childMatchKind = KeyMatch::WholeWord;  // Combo4
    std::u16string childCondition;                  // Text6

    int valueColumn = 0;                           // Combo5
    Matching matching = Matching::LookupAsResult;  // Combo6
    ValueTest valueTest = ValueTest::Agree;        // Combo7
    Whose whose = Whose::Parent;                   // Combo8

    Placement placement = Placement::IntoChildSheet;
    int childTargetColumn = 0;  // Combo9
    std::u16string childTargetLetter = u"A";
    std::u16string thirdPath;   // Text7
    int thirdTargetColumn = 0;  // Combo10
    std::u16string thirdTargetLetter = u"A";

    RunOptions options;  // the options window's
};

}  // namespace run
