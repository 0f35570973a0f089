#include "card/scaler.h"

#include <utility>

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

// Interpolation is done as (a * (65536 - f) + b * f) >> 16, which equals
// a + floor(f * (b - a) / 65536) exactly: a * 65536 is a multiple of 65536, so
// it passes through the floor unchanged. Every term is non-negative and the sum
// stays below 2^24, so red and blue share one 64-bit word in lanes 32 bits
// apart (red at bit 0, blue at bit 32) and are computed together.
constexpr uint64_t red_blue_mask = 0x000000FF000000FFu;

inline uint64_t red_blue(uint32_t pixel) {
    return (pixel & 0xFFu) | (uint64_t(pixel & 0xFF0000u) << 16);
}
inline uint32_t green(uint32_t pixel) { return (pixel >> 8) & 0xFFu; }

// One source row interpolated across: the values every destination column
// reads from it, before the vertical step. Colour channels are kept apart in
// the lane layout above so that the vertical step needs no unpacking.
struct row_mix {
    uint64_t red_blue[scale_max_extent];
    uint32_t green[scale_max_extent];
};

// How the destination columns sample a source row; the same for every row.
struct column_plan {
    int count;                               // columns written: DW - 1
    uint32_t offset[scale_max_extent];       // left sample's distance from the row start
    uint32_t weight_left[scale_max_extent];  // 65536 - fraction
    uint32_t weight_right[scale_max_extent]; // the fraction
};

// The running column position of the scaler, played once: a move is made only
// while the position stays inside the region (so offsets stay below SW), and a
// negative (overflowed) table entry moves nothing. Since the indices only grow,
// limiting each read to the last pixel gives what limiting the running indices
// gives.
void plan_columns(const int32_t* cols, int dw, int sw, column_plan* plan) {
    plan->count = dw - 1;
    int64_t px = 0;
    uint32_t moved = 0;
    for (int j = 0; j < plan->count; ++j) {
        plan->offset[j] = moved;
        plan->weight_right[j] = uint32_t(cols[j] & 0xFFFF);
        plan->weight_left[j] = 65536 - plan->weight_right[j];
        const int32_t e = cols[j + 1];
        if (e > 0) {
            const int32_t move = e >> 16;
            px += move;
            if (px < sw) moved += uint32_t(move);
        }
    }
}

inline void mix_column(const column_plan& plan, int j, uint32_t a, uint32_t b, row_mix* out) {
    const uint32_t wl = plan.weight_left[j];
    const uint32_t wr = plan.weight_right[j];
    out->red_blue[j] = ((red_blue(a) * wl + red_blue(b) * wr) >> 16) & red_blue_mask;
    out->green[j] = (green(a) * wl + green(b) * wr) >> 16;
}

void mix_row(const uint32_t* src, int64_t last, int64_t start, const column_plan& plan,
             row_mix* out) {
    const int count = plan.count;
    if (start + plan.offset[count - 1] + 1 <= last) {
        // Every sample lies inside the buffer: all rows but the last one or two.
        const uint32_t* row = src + start;
        for (int j = 0; j < count; ++j) {
            const uint32_t* left = row + plan.offset[j];
            mix_column(plan, j, left[0], left[1], out);
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        const int64_t left = start + plan.offset[j];
        mix_column(plan, j, src[left < last ? left : last], src[left + 1 < last ? left + 1 : last], out);
    }
}

void blend_rows(const row_mix& upper, const row_mix& lower, uint32_t fy, int count,
                uint32_t* out) {
    const uint32_t gy = 65536 - fy;
    for (int j = 0; j < count; ++j) {
        const uint64_t rb = ((upper.red_blue[j] * gy + lower.red_blue[j] * fy) >> 16) & red_blue_mask;
        const uint32_t g = (upper.green[j] * gy + lower.green[j] * fy) >> 16;
        out[j] = 0xFF000000u | uint32_t(rb >> 16 & 0xFF0000u) | g << 8 | uint32_t(rb & 0xFFu);
    }
}

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
    column_plan plan;
    plan_columns(cols, dw, sw, &plan);

    // Neighbouring destination rows mostly read the same source rows, or the
    // next one down; each source row is interpolated across once and kept
    // while it is still needed.
    row_mix mixes[2];
    row_mix* upper = &mixes[0];
    row_mix* lower = &mixes[1];
    int64_t upper_start = -1;
    int64_t lower_start = -1;

    const int64_t last = n - 1;
    int64_t r = 0;
    int64_t py = 0;
    for (int i = 0; i < dh; ++i) {
        const int64_t start = o + r * ss;
        if (start != upper_start) {
            if (start == lower_start) {
                std::swap(upper, lower);
            } else {
                mix_row(src, last, start, plan, upper);
            }
            upper_start = start;
            lower_start = start + ss;
            mix_row(src, last, lower_start, plan, lower);
        }
        // The region's last column is left as it was: DW - 1 pixels a row.
        blend_rows(*upper, *lower, uint32_t(rows[i] & 0xFFFF), plan.count,
                   dst + int64_t(dy + i) * ds + dx);
        const int32_t e = rows[i + 1];
        if (e > 0) {
            const int32_t move = e >> 16;
            py += move;
            if (py < sh) r += move;
        }
    }
}
