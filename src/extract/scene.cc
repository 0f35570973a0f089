#include "extract/scene.h"

#include <cstring>

#include "extract/byte_reader.h"

namespace {

constexpr uint32_t min_scene_size = 64;
constexpr uint64_t png_signature_size = 8;
constexpr uint64_t chunk_overhead = 12;  // length, type and CRC fields

}  // namespace

bool find_scene_data(const uint8_t* data, uint32_t size, uint32_t* iend_pos) {
    if (!data || size < min_scene_size) return false;
    // Only the first four signature bytes are compared.
    if (data[0] != 0x89 || data[1] != 'P' || data[2] != 'N' || data[3] != 'G') return false;

    const byte_view v{data, size};
    uint64_t pos = png_signature_size;
    for (;;) {
        if (!bytes_fit(v, pos, 8)) return false;  // the walk ran off the end
        if (std::memcmp(data + pos + 4, "IEND", 4) == 0) break;
        uint32_t length = 0;
        read_be24_of_32(v, pos, &length);
        pos += chunk_overhead + length;  // chunk CRCs are not checked
    }
    // At least 31 bytes must follow the 12-byte IEND chunk.
    if (uint64_t(size) <= pos + chunk_overhead + min_trailing_bytes - 1) return false;
    *iend_pos = uint32_t(pos);
    return true;
}
