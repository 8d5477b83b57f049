// Pieces every reader builds a session with: unique stored names, titled
// channels, and the one block that holds all of a session's arrays.
#pragma once

#include <memory>
#include <set>
#include <string>

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

} // namespace lx
