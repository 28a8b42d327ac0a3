#pragma once

#include <stdexcept>
#include <string>

namespace sheets {

// A spreadsheet operation that could not be carried out. what() is a detail for standard error;
// the user only ever sees the run's own message.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace sheets
