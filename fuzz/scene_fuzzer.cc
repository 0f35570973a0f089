// Fuzz target: the input is a whole scene file.
#include <cstddef>
#include <cstdint>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    run_scene_bytes(data, size);
    return 0;
}
