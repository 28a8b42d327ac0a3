#pragma once

#include <cstdint>
#include <optional>

namespace run {

// How a key is cut from a trimmed key cell text, as the last successful parse of a condition left it.
// Owned by the main window: it outlives runs and is never reset.
struct KeyCondition {
    std::optional<std::int16_t> keyMode;  // 1 *N, 2 N*, 3 *N?..., 4 ?...N*; empty until the first parse
    std::int16_t keyLength = 0;
    std::int16_t keyOffset = 0;
};

}  // namespace run
