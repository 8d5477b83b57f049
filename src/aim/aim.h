// Reading a logger's tab-separated text export into a new Session.
#pragma once

#include "base/trace.h"
#include "session/session.h"

namespace lx {

// Returns the new Session, or null after printing why the file was refused.
Session* read_aim_export(const char* filename, TraceOptions options);

} // namespace lx
