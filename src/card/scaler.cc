#include "card/scaler.h"

namespace {

// Step table: entry 0 is 0 and entry k keeps the fraction of entry k - 1 plus
// one step, so its upper part is the whole-pixel move from k - 1 to k and its
// low 16 bits are the fraction at k.
// Sums wrap like 32-bit machine arithmetic: only a source more than 32,767
// times the destination's extent overflows, and then the indices are still
// held inside the source by the clamp at its last pixel.
void fill_steps(int32_t* table, int count, int32_t step) {
    table[0] = 0;
    for (int k = 1; k <= count; ++k)
        table[k] = int32_t(uint32_t(table[k - 1] & 0xFFFF) + uint32_t(step));
}

// Horizontal term: floor(f * (b - a) / 65536). The unsigned product shifted
// and added modulo 256 gives the same byte as the signed floor, because the
// interpolated value always lies between a and b.
inline uint32_t lerp_channel(uint32_t a, uint32_t b, uint32_t f) {
    return (a + ((f * (b - a)) >> 16)) & 0xFF;
}

// Vertical term with a signed product and an arithmetic shift (the floor).
inline uint32_t lerp_vertical(int32_t top, int32_t bottom, int32_t f) {
    return uint32_t(top + ((f * (bottom - top)) >> 16));
}

inline uint32_t channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

uint32_t blend(uint32_t ul, uint32_t ur, uint32_t ll, uint32_t lr, uint32_t fx, int32_t fy) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t top = lerp_channel(channel(ul, shift), channel(ur, shift), fx);
        const uint32_t bottom = lerp_channel(channel(ll, shift), channel(lr, shift), fx);
        out |= (lerp_vertical(int32_t(top), int32_t(bottom), fy) & 0xFF) << shift;
    }
    return out;
}

inline int64_t clamp_index(int64_t i, int64_t last) { return i > last ? last : i; }

}  // namespace

void scale_bilinear(uint32_t* dst, int ds, int dx, int dy, int dw, int dh,
                    const uint32_t* src, int64_t n, int ss, int64_t o, int sw, int sh) {
    if (dh < 1 || dw < 2) return;
    // Steps in 16.16, the fraction dropped; exact on a 64-bit product.
    const int32_t hs = int32_t(uint32_t((int64_t(sw) << 16) / dw));
    const int32_t vs = int32_t(uint32_t((int64_t(sh) << 16) / dh));
    int32_t cols[scale_max_extent + 1];
    int32_t rows[scale_max_extent + 1];
    fill_steps(cols, dw, hs);
    fill_steps(rows, dh, vs);

    const int64_t last = n - 1;
    int64_t r = 0;
    int64_t py = 0;
    for (int i = 0; i < dh; ++i) {
        int64_t ul = o + r * ss;
        int64_t ur = ul + 1;
        int64_t ll = ul + ss;
        int64_t lr = ll + 1;
        uint32_t* out = dst + int64_t(dy + i) * ds + dx;
        const int32_t fy = rows[i] & 0xFFFF;
        int64_t px = 0;
        // The region's last column is left as it was: DW - 1 pixels a row.
        for (int j = 0; j < dw - 1; ++j) {
            ul = clamp_index(ul, last);
            ur = clamp_index(ur, last);
            ll = clamp_index(ll, last);
            lr = clamp_index(lr, last);
            const uint32_t fx = uint32_t(cols[j] & 0xFFFF);
            *out++ = blend(src[ul], src[ur], src[ll], src[lr], fx, fy);
            const int32_t e = cols[j + 1];
            if (e > 0) {
                const int32_t move = e >> 16;
                px += move;
                if (px < sw) {
                    ul += move;
                    ur += move;
                    ll += move;
                    lr += move;
                }
            }
        }
        const int32_t e = rows[i + 1];
        if (e > 0) {
            const int32_t move = e >> 16;
            py += move;
            if (py < sh) r += move;
        }
    }
}
