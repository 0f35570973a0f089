#include "scene/scene.h"

#include <cstring>

#include "base/byte_reader.h"

namespace {

constexpr uint32_t min_scene_size = 64;
constexpr uint64_t png_signature_size = 8;
constexpr uint64_t chunk_overhead = 12;  // length, type and CRC fields

bool refuse(scene_fault* out, scene_fault why) {
    if (out) *out = why;
    return false;
}

}  // namespace

const char* scene_fault_text(scene_fault fault) {
    switch (fault) {
    case scene_fault::none: return "";
    case scene_fault::too_small: return "too small for a scene (under 64 bytes)";
    case scene_fault::no_signature: return "no PNG signature";
    case scene_fault::no_iend: return "no IEND chunk: the PNG chunks run off the end";
    case scene_fault::too_little_after_iend: return "too little after the IEND chunk (under 31 bytes of scene data)";
    }
    return "";
}

bool find_scene_data(const uint8_t* data, uint32_t size, uint32_t* iend_pos, scene_fault* fault) {
    if (fault) *fault = scene_fault::none;
    if (!data || size < min_scene_size) return refuse(fault, scene_fault::too_small);
    // Only the first four signature bytes are compared.
    if (data[0] != 0x89 || data[1] != 'P' || data[2] != 'N' || data[3] != 'G')
        return refuse(fault, scene_fault::no_signature);

    const byte_view v{data, size};
    uint64_t pos = png_signature_size;
    for (;;) {
        if (!bytes_fit(v, pos, 8)) return refuse(fault, scene_fault::no_iend);  // the walk ran off the end
        if (std::memcmp(data + pos + 4, "IEND", 4) == 0) break;
        uint32_t length = 0;
        read_be24_of_32(v, pos, &length);
        pos += chunk_overhead + length;  // chunk CRCs are not checked
    }
    // At least 31 bytes must follow the 12-byte IEND chunk.
    if (uint64_t(size) <= pos + chunk_overhead + min_trailing_bytes - 1)
        return refuse(fault, scene_fault::too_little_after_iend);
    *iend_pos = uint32_t(pos);
    return true;
}
