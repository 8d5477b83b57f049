// One lap written as a MoTeC CSV file.
#pragma once

#include "session/session.h"

namespace lx {

// 1 when written; 0 after "Failed to open output file!" when path cannot be created.
int write_motec_csv(const Session* s, int lap, const char* path, const Sink& out);

} // namespace lx
