// The date a file states, read as each format writes it: any text, any
// start time. The result is a real day or nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "data/dates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const FORMATS[] = {"AiM CSV",    "MoTeC LD",       "VBO",
                                          "MoTeC CSV",  "RaceChrono CSV", "iRacing telemetry",
                                          "text export"};
    if (size < 1 + sizeof(double)) return 0;
    lx::SessionRecord r;
    r.format = FORMATS[data[0] % (sizeof FORMATS / sizeof *FORMATS)];
    std::memcpy(&r.start_time, data + 1, sizeof(double));
    r.date.assign(reinterpret_cast<const char*>(data) + 1 + sizeof(double),
                  size - 1 - sizeof(double));
    std::string day = lx::data::session_day(r);
    if (!day.empty() && (day.size() != 10 || day[4] != '-' || day[7] != '-')) __builtin_trap();
    return 0;
}
