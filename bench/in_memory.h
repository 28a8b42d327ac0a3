#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// Times the matching alone, on one core, for each size (child and parent rows alike): index lookup,
// index further matching and building the result text, then the plain top-down scan on the sizes
// up to scanRows. Prints a table.
void measureMatching(const std::vector<std::int32_t>& sizes, std::int32_t scanRows);

}  // namespace bench
