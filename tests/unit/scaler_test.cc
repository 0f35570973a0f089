// The 16.16 fixed-point bilinear scaler.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "card/scaler.h"
#include "scene_builder.h"

namespace {

constexpr uint32_t untouched = 0x5A5A5A5A;
constexpr uint32_t canary = 0x00FF00FF;  // stored past the source's last pixel

// a + floor(f * (b - a) / 65536), the floor taken in floating point.
int mix(int a, int b, int64_t f) { return a + int(std::floor(double(f) * (b - a) / 65536.0)); }

// Destination pixel (j, i) of the region in closed form: it samples column
// floor(j * HS / 65536) and row floor(i * VS / 65536) of the region with the
// remainders as fractions; the right and lower neighbours are the next pixel
// and the next row in the buffer, held in at its last pixel.
uint32_t expected_pixel(const std::vector<uint32_t>& src, int64_t n, int ss, int64_t o, int sw, int sh,
                        int dw, int dh, int j, int i) {
    const int64_t hs = int64_t(sw) * 65536 / dw, vs = int64_t(sh) * 65536 / dh;
    const int64_t k = o + (i * vs >> 16) * ss + (j * hs >> 16);
    const int64_t fx = j * hs & 0xFFFF, fy = i * vs & 0xFFFF;
    auto sample = [&](int64_t index, int channel) {
        return int(src[std::min(index, n - 1)] >> (8 * channel) & 0xFF);
    };
    uint32_t word = 0xFF000000;
    for (int ch = 0; ch < 3; ++ch) {
        const int top = mix(sample(k, ch), sample(k + 1, ch), fx);
        const int bottom = mix(sample(k + ss, ch), sample(k + ss + 1, ch), fx);
        word |= uint32_t(mix(top, bottom, fy)) << (8 * ch);
    }
    return word;
}

}  // namespace

TEST(scaler, matches_closed_form) {
    struct test_case {
        const char* name;
        int src_w, src_h;  // the whole source buffer
        int ox, oy, sw, sh;
        int dst_w, dst_h;  // the whole destination buffer
        int dx, dy, dw, dh;
    };
    const test_case cases[] = {
        {"equal sizes", 7, 6, 1, 1, 5, 4, 7, 6, 1, 1, 5, 4},
        {"240 to 252 wide", 241, 2, 0, 0, 240, 1, 252, 1, 0, 0, 252, 1},
        {"100 to 252, right edge mixes the next row", 100, 3, 0, 0, 100, 2, 252, 2, 0, 0, 252, 2},
        {"100 to 252, mixes the pixel right of the region", 101, 2, 0, 0, 100, 1, 252, 1, 0, 0, 252, 1},
        {"126 to 252", 126, 1, 0, 0, 126, 1, 252, 1, 0, 0, 252, 1},
        {"100 to 352 rows, region on the last row", 3, 100, 1, 0, 2, 100, 4, 352, 1, 0, 3, 352},
        {"shrinking inside larger buffers", 40, 30, 5, 5, 30, 20, 10, 8, 2, 1, 7, 5},
        {"one pixel source", 1, 1, 0, 0, 1, 1, 12, 10, 0, 0, 12, 10},
        {"largest destination", 50, 60, 0, 0, 50, 60, 352, 352, 0, 0, 352, 352},
        {"width 2 writes one pixel a row", 4, 4, 0, 0, 4, 4, 5, 5, 1, 1, 2, 3},
        {"width 1 writes nothing", 4, 4, 0, 0, 4, 4, 5, 5, 1, 1, 1, 3},
        {"height 0 writes nothing", 4, 4, 0, 0, 4, 4, 5, 5, 1, 1, 3, 0},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        const int64_t n = int64_t(c.src_w) * c.src_h;
        std::vector<uint32_t> src = busy_picture(c.src_w, c.src_h, 3).pixels;
        src.insert(src.end(), 8, canary);  // reads past pixel n - 1 would show
        std::vector<uint32_t> dst(size_t(c.dst_w) * c.dst_h, untouched);
        const int64_t o = int64_t(c.oy) * c.src_w + c.ox;
        scale_bilinear(dst.data(), c.dst_w, c.dx, c.dy, c.dw, c.dh, src.data(), n, c.src_w, o, c.sw, c.sh);
        for (int y = 0; y < c.dst_h; ++y) {
            for (int x = 0; x < c.dst_w; ++x) {
                const int i = y - c.dy, j = x - c.dx;
                const bool written = i >= 0 && i < c.dh && j >= 0 && j < c.dw - 1;
                const uint32_t want =
                    written ? expected_pixel(src, n, c.src_w, o, c.sw, c.sh, c.dw, c.dh, j, i) : untouched;
                ASSERT_EQ(dst[size_t(y) * c.dst_w + x], want) << "x " << x << " y " << y;
            }
        }
    }
}

// Single-row sources whose red channel is 0 except at the listed columns;
// destination column j's red shows the column sampled and the floor taken.
TEST(scaler, interpolation_takes_the_floor) {
    struct test_case {
        const char* name;
        int sw, dw, j;
        std::vector<std::pair<int, uint8_t>> red;
        int want;
    };
    const test_case cases[] = {
        {"10 to 0 at fraction 1", 11, 276, 251, {{10, 10}}, 9},
        {"0 to 10 at fraction 65535", 2, 6, 3, {{1, 10}}, 9},
        {"200 to 100 at one half", 1, 4, 2, {{0, 200}, {1, 100}}, 150},
        {"fraction 0 gives the left sample", 4, 2, 0, {{0, 123}, {1, 250}}, 123},
        {"240 to 252: column 0 at 0", 240, 252, 0, {{1, 255}}, 0},
        {"240 to 252: column 0 at 62415", 240, 252, 1, {{1, 255}}, 242},
        {"240 to 252: column 1 at 59294", 240, 252, 2, {{1, 255}}, 24},
        {"240 to 252: column 2 at 56173", 240, 252, 3, {{3, 255}}, 218},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> src(size_t(c.sw) + 1, 0xFF000000);
        for (auto [column, r] : c.red) src[size_t(column)] |= r;
        std::vector<uint32_t> dst(size_t(c.dw), untouched);
        scale_bilinear(dst.data(), c.dw, 0, 0, c.dw, 1, src.data(), int64_t(src.size()), c.sw + 1, 0,
                       c.sw, 1);
        EXPECT_EQ(dst[size_t(c.j)], 0xFF000000u | uint32_t(c.want));
    }
}
