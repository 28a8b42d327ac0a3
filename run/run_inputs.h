#pragma once

#include <string>

namespace run {

// The main window's inputs, read once when the run starts. List positions are -1 for no selection.
struct RunInputs {
    bool ignoreErrors = false;  // Check1 ticked

    std::u16string parentPath;       // Text1
    std::u16string parentSheet;      // Text3
    int parentKeyColumn = 0;         // Combo1
    int parentMatchKind = 0;         // Combo3: 0 whole word, 1 condition
    std::u16string parentCondition;  // Text4

    std::u16string childPath;       // Text2
    std::u16string childSheet;      // Text5
    int childKeyColumn = 0;         // Combo2
    int childMatchKind = 0;         // Combo4
    std::u16string childCondition;  // Text6

    int valueColumn = 0;  // Combo5
    int matching = 0;     // Combo6: 0 lookup as result, 1 further matching
    int valueTest = 0;    // Combo7: 0 values agree, otherwise values differ
    int whose = 0;        // Combo8: 0 parent, 1 child, 2 both

    bool intoChildSheet = true;    // Option1(0)
    bool intoNewWorkbook = false;  // Option1(1)
    int childTargetColumn = 0;     // Combo9
    std::u16string childTargetLetter = u"A";
    std::u16string thirdPath;   // Text7
    int thirdTargetColumn = 0;  // Combo10
    std::u16string thirdTargetLetter = u"A";
};

}  // namespace run
