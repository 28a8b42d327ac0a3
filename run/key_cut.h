#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "run/key_condition.h"

namespace run {

// Parses a key condition (*N, N*, *N?..., ?...N*) into keyCondition. Returns false for a malformed
// condition, leaving keyCondition as it was. Throws RunError when a number does not convert to a
// 16-bit integer; the fields stored before that conversion (KeyMode always, KeyOffset in the two
// forms with "?") then stay changed.
bool parseCondition(std::u16string_view condition, KeyCondition& keyCondition);

// The key cut by a condition mode from a trimmed cell text, as a view into it. nullopt when the cut
// is invalid: a negative length, or a start position below 1 (mode 3 on a text shorter than
// KeyOffset + KeyLength). A mode outside 1 to 4 cuts nothing and gives nullopt too.
std::optional<std::u16string_view> cutKey(std::u16string_view trimmed, std::int16_t mode,
                                          const KeyCondition& keyCondition);

}  // namespace run
