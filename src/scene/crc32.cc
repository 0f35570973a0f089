#include "scene/crc32.h"

#include <array>

namespace {

// tables[0] is the classic byte-at-a-time table; tables[k] advances a byte
// that is k positions further back, so eight bytes fold in with eight
// independent lookups (slicing-by-8). The result is the same CRC.
using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_crc_tables() {
    crc_tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

constexpr crc_tables tables = make_crc_tables();

// Little-endian load, whatever the host's byte order.
inline uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t crc32(const uint8_t* data, size_t length) {
    uint32_t c = 0xFFFFFFFFu;
    size_t i = 0;
    for (; length - i >= 8; i += 8) {
        const uint32_t lo = load_le32(data + i) ^ c;
        const uint32_t hi = load_le32(data + i + 4);
        c = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
            tables[4][lo >> 24] ^ tables[3][hi & 0xFF] ^ tables[2][(hi >> 8) & 0xFF] ^
            tables[1][(hi >> 16) & 0xFF] ^ tables[0][hi >> 24];
    }
    for (; i < length; ++i) c = tables[0][(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}
