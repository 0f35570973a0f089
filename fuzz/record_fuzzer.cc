// Fuzz target: the input is one character record without its head. The first
// byte picks the marker row, the rest follows the marker. A fixed scene head
// goes before it, so the fuzzer spends its time on record fields and face
// pictures instead of finding a PNG chunk walk and a marker first.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <vector>

#include "scene/marker_table.h"
#include "fuzz_harness.h"

namespace {

// Signature, then an empty IEND chunk (length, type, CRC).
const uint8_t scene_head[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                              0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
// A scene is at least 64 bytes with 31 after the IEND chunk.
constexpr size_t min_scene = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const marker_row& row = marker_table[data[0] % marker_count];
    // The 4-byte leading field and the marker's length byte of the
    // string-and-picture layout; the entry-table layout starts at the latter.
    const uint8_t lead[] = {'l', 'e', 'a', 'd', uint8_t(row.length)};
    const size_t body = size - 1;
    const size_t used = sizeof scene_head + sizeof lead + row.length + body;
    // Sized exactly, so that any read past the end is caught.
    std::vector<uint8_t> scene(used < min_scene ? min_scene : used, 0);
    uint8_t* at = scene.data();
    at = std::copy(scene_head, scene_head + sizeof scene_head, at);
    at = std::copy(lead, lead + sizeof lead, at);
    at = std::copy(row.marker, row.marker + row.length, at);
    std::copy(data + 1, data + size, at);
    run_scene_bytes(scene.data(), scene.size());
    return 0;
}
