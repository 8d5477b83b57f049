// The iRacing telemetry reader on arbitrary bytes (see fuzz_binary.h).
#include "fuzz_binary.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lxfuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return lxfuzz::run_binary(data, size, lx::import_ibt);
}
