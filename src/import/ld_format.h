// Where things lie in a MoTeC LD file, for its reader and its writer. All
// values little-endian; offsets from the start of their block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lx::ld {

constexpr std::uint32_t MARKER = 0x40; // the file's first word

namespace head {
constexpr std::size_t MARKER = 0, CHANNELS_POINTER = 8, DATA_POINTER = 12, EVENT_POINTER = 36;
constexpr std::size_t SERIAL = 70, DEVICE_TYPE = 74, VERSION = 82, CHANNEL_COUNT = 86;
constexpr std::size_t DATE = 94, TIME = 126, DRIVER = 158, VEHICLE = 222, VENUE = 350;
constexpr std::size_t SHORT_COMMENT = 1572;
constexpr std::size_t SIZE = 1762;
constexpr std::size_t DEVICE_TYPE_SIZE = 8, DATE_SIZE = 16, TEXT_SIZE = 64;
} // namespace head

namespace event {
constexpr std::size_t NAME = 0, SESSION = 64, COMMENT = 128, VENUE_POINTER = 1152;
constexpr std::size_t COMMENT_SIZE = 1024, SIZE = 1154;
} // namespace event

namespace venue {
constexpr std::size_t NAME = 0, VEHICLE_POINTER = 1098, SIZE = 1100;
} // namespace venue

namespace vehicle {
constexpr std::size_t ID = 0, NAME = 64, WEIGHT = 192, TYPE = 196, COMMENT = 228, SIZE = 260;
constexpr std::size_t SHORT_TEXT_SIZE = 32;
} // namespace vehicle

namespace channel {
constexpr std::size_t PREVIOUS = 0, NEXT = 4, DATA = 8, COUNT = 12, COUNTER = 16, TYPE = 18;
constexpr std::size_t SAMPLE_SIZE = 20, RATE = 22, SHIFT = 24, MUL = 26, SCALE = 28;
constexpr std::size_t DECIMALS = 30, NAME = 32, SHORT_NAME = 64, UNIT = 72, RAW_MAX = 84;
constexpr std::size_t RAW_MIN = 88, SIZE = 124;
constexpr std::size_t NAME_SIZE = 32, SHORT_NAME_SIZE = 8, UNIT_SIZE = 12;
} // namespace channel

// Sample type codes: 7 a float of 2, 4 or 8 bytes; 0, 3 and 5 an integer of 2 or 4.
constexpr int FLOAT_TYPE = 7;
constexpr int INTEGER_TYPE = 3;

} // namespace lx::ld
