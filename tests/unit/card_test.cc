// Trimming and placing a face picture on the card, and plain cards.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "card/canvas.h"
#include "card/composer.h"
#include "card/stb_alloc.h"
#include "scene_builder.h"

namespace {

// compose_card releases its pixels through stbi_image_free: they come from stb_image's allocator.
unsigned char* stb_copy(const picture& pic) {
    void* p = stb_alloc(pic.pixels.size() * 4);
    return static_cast<unsigned char*>(std::memcpy(p, pic.pixels.data(), pic.pixels.size() * 4));
}

// Sets the listed columns (x >= 0) and rows (~y), pixel 0 aside, to pixel 0
// XOR `flip`: by default a colour that is background yet can be told from it.
picture with_lines(picture pic, std::initializer_list<int> lines, uint32_t flip = 0x010101) {
    for (int line : lines)
        for (int i = 0; i < (line >= 0 ? pic.height : pic.width); ++i)
            if (const size_t at = line >= 0 ? size_t(i) * pic.width + line : size_t(~line) * pic.width + i)
                pic.pixels[at] = pic.pixels[0] ^ flip;
    return pic;
}

}  // namespace

// The layout, and the canvas after compose_card: pixel 0 (alpha included) outside
// the fitted region and in its last column, opaque inside, the region's top-left
// the drawn part's top-left. Without pixels the plain card, female only for 'F'.
TEST(card, compose_card_places_the_picture) {
    const picture nine = busy_picture(9, 9);
    const struct {
        const char* name;
        picture pic;
        std::vector<int> want;  // L, R, T, W', H', X, Y, FW, FH
    } cases[] = {
        {"240x320", busy_picture(240, 320), {0, 0, 0, 240, 320, 0, 16, 252, 336}},
        {"252x352", busy_picture(252, 352), {0, 0, 0, 252, 352, 0, 0, 252, 352}},
        {"504x704 fills exactly", busy_picture(504, 704), {0, 0, 0, 504, 704, 0, 0, 252, 352}},
        {"300x300", busy_picture(300, 300), {0, 0, 0, 300, 300, 0, 100, 252, 252}},
        {"100x400 fits the height", busy_picture(100, 400), {0, 0, 0, 100, 400, 82, 0, 88, 352}},
        {"odd spare column falls right", busy_picture(100, 300), {0, 0, 0, 100, 300, 67, 0, 117, 352}},
        {"352.8 rows is not more than 352", busy_picture(100, 140), {0, 0, 0, 100, 140, 0, 0, 252, 352}},
        {"single colour", solid_picture(300, 300, 0xFF336699), {100, 100, 100, 100, 200, 38, 0, 176, 352}},
        {"600x2 draws nothing", busy_picture(600, 2), {0, 0, 0, 600, 2, 0, 352, 252, 0}},
        {"1x400 draws nothing", busy_picture(1, 400), {0, 0, 1, 1, 399, 126, 0, 0, 352}},
        {"1x9M: H' x 252 past 32 bits", busy_picture(1, 9000000), {0, 0, 1, 1, 8999999, 126, 0, 0, 352}},
        {"columns 10-19 only", with_lines(busy_picture(90, 30), {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}),
         {10, 0, 0, 80, 30, 0, 258, 252, 94}},
        {"counted anywhere in the outer thirds", with_lines(busy_picture(30, 30), {0, 25, 29, ~5}),
         {1, 2, 1, 27, 29, 0, 82, 252, 270}},
        {"thirds end before column and row 10 of 32", with_lines(busy_picture(32, 32), {9, 10, 21, 22, ~9, ~10}),
         {1, 1, 1, 30, 31, 0, 92, 252, 260}},
        {"alpha, low 3 bits differ", with_lines(nine, {0}, 0xFF070707), {1, 0, 0, 8, 9, 0, 69, 252, 283}},
        {"bit 3 differs", with_lines(nine, {0}, 0x080000), {0, 0, 0, 9, 9, 0, 100, 252, 252}},
    };
    auto canvas = std::make_unique<card_canvas>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        card_layout l{};
        measure_card_layout(c.pic.pixels.data(), c.pic.width, c.pic.height, &l);
        EXPECT_EQ(c.want, (std::vector<int>{l.left, l.right, l.top, l.width, l.height, l.fit_x, l.fit_y,
                                            l.fit_w, l.fit_h}));
        std::fill(std::begin(canvas->pixels), std::end(canvas->pixels), 0x12345678u);  // shows what stays
        compose_card(canvas.get(), stb_copy(c.pic), c.pic.width, c.pic.height, 'F');
        for (int y = 0; y < card_height; ++y)
            for (int x = 0; x < card_width; ++x) {
                const uint32_t px = canvas->pixels[y * card_width + x];
                const bool inside = x >= c.want[5] && x < c.want[5] + c.want[7] - 1 && y >= c.want[6];
                ASSERT_EQ(inside ? px >> 24 : px, inside ? 0xFFu : c.pic.pixels[0]) << x << "," << y;
            }
        if (c.want[7] > 1 && c.want[8] > 0)
            EXPECT_EQ(canvas->pixels[c.want[6] * card_width + c.want[5]],
                      c.pic.pixels[size_t(c.want[2]) * c.pic.width + size_t(c.want[0])] | 0xFF000000);
    }
    for (char sex : {'F', 'f', 'M'}) {
        compose_card(canvas.get(), nullptr, 9, 9, sex);
        for (uint32_t px : canvas->pixels) ASSERT_EQ(px, sex == 'F' ? 0xFFF6BAF3 : 0xFFFEC2A8) << sex;
    }
}
