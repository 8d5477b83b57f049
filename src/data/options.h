// The options of lx_open: checked, and applied to a text export after the
// reader has read it whole (the CSV readers apply them while reading).
#pragma once

#include "frame/frame.h"
#include "import/import.h"
#include "lx_data.h"

namespace lx::data {

// LX_OK with the options copied, or LX_ERR_ARGUMENT naming the bad one.
// given may be null: all channels, all laps.
int read_options(const lx_open_options* given, ImportOptions& options);

// Keeps the named channels (and the first three) and the window of laps;
// LX_OK, or a failure naming a channel or lap the file lacks.
int apply_options(Session* s, const ImportOptions& options);

} // namespace lx::data
