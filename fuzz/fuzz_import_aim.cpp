// The AiM CSV reader on arbitrary bytes (see fuzz_import.h).
#include "fuzz_import.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lxfuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return lxfuzz::run_import(data, size, lx::FileFormat::aim_csv);
}
