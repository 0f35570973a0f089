// The 16.16 fixed-point bilinear scaler against a closed-form reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "card/scaler.h"
#include "scene_builder.h"

namespace {

constexpr uint32_t untouched = 0x5A5A5A5A;

// a + floor(f * (b - a) / 65536), the floor taken in floating point.
int mix(int a, int b, int64_t f) { return a + int(std::floor(double(f) * (b - a) / 65536.0)); }

}  // namespace

// Pixel (j, i) samples column j * HS >> 16 and row i * VS >> 16, the remainders
// as fractions, mixing the next pixel and the next row in the buffer, held at its
// last pixel. The region's last column and all outside it stay untouched.
TEST(scaler, matches_closed_form) {
    const struct {
        const char* name;
        int src_w, src_h, ox, oy, sw, sh;  // the whole source buffer, then the region
        int dst_w, dst_h, dx, dy, dw, dh;  // the same for the destination
    } cases[] = {
        {"equal sizes", 7, 6, 1, 1, 5, 4, 7, 6, 1, 1, 5, 4},
        {"240 to 252, right edge mixes the next row", 240, 3, 0, 0, 240, 2, 252, 2, 0, 0, 252, 2},
        {"100 to 352 rows, last row region: held at N - 1", 3, 100, 1, 0, 2, 100, 4, 352, 1, 0, 3, 352},
        {"shrinking inside larger buffers", 40, 30, 5, 5, 30, 20, 10, 8, 2, 1, 7, 5},
        {"largest destination", 50, 60, 0, 0, 50, 60, 352, 352, 0, 0, 352, 352},
        {"width 2 writes one pixel a row", 4, 4, 0, 0, 4, 4, 5, 5, 1, 1, 2, 3},
        {"width 1 writes nothing", 4, 4, 0, 0, 4, 4, 5, 5, 1, 1, 1, 3},
        {"height 0 writes nothing", 4, 4, 0, 0, 4, 4, 5, 5, 1, 1, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t n = int64_t(c.src_w) * c.src_h, o = int64_t(c.oy) * c.src_w + c.ox;
        std::vector<uint32_t> src = busy_picture(c.src_w, c.src_h, 3).pixels;
        src.insert(src.end(), 8, 0x00FF00FF);  // a read past pixel N - 1 would show
        std::vector<uint32_t> dst(size_t(c.dst_w) * c.dst_h, untouched);
        scale_bilinear(dst.data(), c.dst_w, c.dx, c.dy, c.dw, c.dh, src.data(), n, c.src_w, o, c.sw, c.sh);
        const int64_t hs = int64_t(c.sw) * 65536 / c.dw, vs = c.dh ? int64_t(c.sh) * 65536 / c.dh : 0;
        auto at = [&](int64_t k, int ch) { return int(src[size_t(std::min(k, n - 1))] >> 8 * ch) & 0xFF; };
        for (int y = 0; y < c.dst_h; ++y)
            for (int x = 0; x < c.dst_w; ++x) {
                const int64_t i = y - c.dy, j = x - c.dx, k = o + (i * vs >> 16) * c.src_w + (j * hs >> 16);
                uint32_t want = i >= 0 && i < c.dh && j >= 0 && j < c.dw - 1 ? 0xFF000000 : untouched;
                for (int ch = 0; ch < 3 && want != untouched; ++ch) {
                    const int top = mix(at(k, ch), at(k + 1, ch), j * hs & 0xFFFF);
                    const int bottom = mix(at(k + c.src_w, ch), at(k + c.src_w + 1, ch), j * hs & 0xFFFF);
                    want |= uint32_t(mix(top, bottom, i * vs & 0xFFFF)) << 8 * ch;
                }
                ASSERT_EQ(dst[size_t(y) * c.dst_w + x], want) << "x " << x << " y " << y;
            }
    }
}

// One-row sources, red only: destination column j samples between column c
// (`left`) and c + 1 (`right`) at the fractions the closed form may never meet.
TEST(scaler, interpolation_takes_the_floor) {
    const struct {
        int sw, dw, j, c;
        uint32_t left, right, want;
    } cases[] = {
        {11, 276, 251, 10, 10, 0, 9}, {2, 6, 3, 0, 0, 10, 9},      // fractions 1 and 65535
        {1, 4, 2, 0, 200, 100, 150}, {4, 2, 0, 0, 123, 250, 123},  // one half; 0: the left sample exactly
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> src(size_t(c.sw) + 1, 0xFF000000), dst(size_t(c.dw), untouched);
        src[size_t(c.c)] |= c.left, src[size_t(c.c) + 1] |= c.right;
        scale_bilinear(dst.data(), c.dw, 0, 0, c.dw, 1, src.data(), int64_t(src.size()), c.sw + 1, 0, c.sw, 1);
        EXPECT_EQ(dst[size_t(c.j)], 0xFF000000u | c.want) << c.left << " to " << c.right;
    }
}
