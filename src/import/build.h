// Pieces every reader builds a session with: unique stored names, titled
// channels, and the one block that holds all of a session's arrays.
#pragma once

#include <memory>
#include <new>
#include <set>
#include <string>

#include "import/csv_lines.h"
#include "import/import.h"
#include "lx_data.h"
#include "session/record.h"
#include "session/session.h"

namespace lx {

struct SessionDeleter {
    void operator()(Session* s) const { free_session(s); }
};
using SessionPointer = std::unique_ptr<Session, SessionDeleter>;

class ChannelNamer {
  public:
    // The stored name, made unique by the source or a number: "Speed_gps", "Speed_2".
    std::string unique(std::string name, const std::string& source);

  private:
    std::set<std::string> used_;
};

// Appends a channel with its stored name and unit, and its title and unit as written.
int add_titled(Session& s, SessionRecord& record, ChannelNamer& namer, const std::string& title,
               const std::string& unit, const std::string& source = "");

// Floats an array of count samples takes in the block: whole cache lines, at least one.
std::size_t padded(long count);

// Runs a reader, turning its refusal into the result. Never throws.
template <class Read> ImportResult run_import(const char* path, Read read) {
    ImportResult result;
    try {
        if (path == nullptr) refuse(LX_ERR_ARGUMENT, "(null): no file name");
        result.session = read();
    } catch (const Refusal& refusal) {
        result.status = refusal.status;
        result.message = refusal.message;
    } catch (const std::bad_alloc&) {
        result.status = LX_ERR_MEMORY;
        result.message = std::string(path) + ": out of memory";
    } catch (...) {
        result.status = LX_ERR_FORMAT;
        result.message = std::string(path) + ": cannot be read";
    }
    return result;
}

} // namespace lx
