#pragma once

#include <string>

namespace cli {

// `pellucor --help`.
std::string helpText();

}  // namespace cli
