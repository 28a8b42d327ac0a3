#pragma once

#include "run/run_options.h"

class QSettings;

namespace ui {

// The run options as the program remembers them between starts. What cannot be read is taken at its
// default.
run::RunOptions loadOptions(QSettings& settings);
void saveOptions(QSettings& settings, const run::RunOptions& options);

}  // namespace ui
