// Plain cards, trimming and placing a face picture on the card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "card/canvas.h"
#include "card/colours.h"
#include "card/composer.h"
#include "scene_builder.h"

namespace {

constexpr uint32_t garbage = 0x12345678;

std::unique_ptr<card_canvas> dirty_canvas() {
    auto canvas = std::make_unique<card_canvas>();
    for (uint32_t& p : canvas->pixels) p = garbage;
    return canvas;
}

// compose_card releases its pixels as stb_image would, with free().
unsigned char* stb_copy(const picture& pic) {
    const size_t n = pic.pixels.size() * 4;
    auto* p = static_cast<unsigned char*>(std::malloc(n));
    std::memcpy(p, pic.pixels.data(), n);
    return p;
}

uint32_t& at(picture& pic, int x, int y) { return pic.pixels[size_t(y) * pic.width + x]; }

// Background pixels set by these two differ from pixel 0 in the low bits, so
// that the drawn part's first column or row can be told from column or row 0.
picture with_background_columns(picture pic, std::initializer_list<int> columns) {
    const uint32_t background = pic.pixels[0] ^ 0x010101;
    for (int x : columns)
        for (int y = 0; y < pic.height; ++y) at(pic, x, y) = background;
    return pic;
}

picture with_background_row(picture pic, int row) {
    const uint32_t background = pic.pixels[0] ^ 0x010101;
    for (int x = 0; x < pic.width; ++x) at(pic, x, row) = background;
    return pic;
}

// Column 0 below pixel 0 set to pixel 0 XOR `flip`.
picture with_column0_flipped(uint32_t flip) {
    picture pic = busy_picture(9, 9);
    for (int y = 1; y < 9; ++y) at(pic, 0, y) = pic.pixels[0] ^ flip;
    return pic;
}

picture with_clear_pixel0(picture pic) {
    pic.pixels[0] &= 0x00FFFFFF;
    return pic;
}

struct layout_case {
    const char* name;
    picture pic;
    card_layout want;  // L, R, T, W', H', X, Y, FW, FH
};

std::vector<layout_case> layout_cases() {
    return {
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
        {"columns 10-19 only",
         with_background_columns(busy_picture(90, 30), {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}),
         {10, 0, 0, 80, 30, 0, 258, 252, 94}},
        {"counts anywhere in the outer thirds",
         with_background_row(with_background_columns(busy_picture(30, 30), {0, 25, 29}), 5),
         {1, 2, 1, 27, 29, 0, 82, 252, 270}},
        {"low three bits differ", with_column0_flipped(0x070707), {1, 0, 0, 8, 9, 0, 69, 252, 283}},
        {"alpha differs", with_column0_flipped(0xFF000000), {1, 0, 0, 8, 9, 0, 69, 252, 283}},
        {"bit 3 differs", with_column0_flipped(0x080000), {0, 0, 0, 9, 9, 0, 100, 252, 252}},
        {"2x2 tests nothing", solid_picture(2, 2, 7), {0, 0, 0, 2, 2, 0, 100, 252, 252}},
        {"height 1: column 0 is pixel 0 alone", busy_picture(3, 1), {1, 0, 0, 2, 1, 0, 226, 252, 126}},
    };
}

}  // namespace

TEST(card, fill_card_plain) {
    struct test_case {
        char sex;
        uint32_t pixel;
    };
    const test_case cases[] = {{'F', 0xFFF6BAF3}, {'M', 0xFFFEC2A8}, {'f', 0xFFFEC2A8}, {'\0', 0xFFFEC2A8}};
    auto canvas = dirty_canvas();
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.sex);
        fill_card_plain(canvas.get(), c.sex);
        for (uint32_t p : canvas->pixels) ASSERT_EQ(p, c.pixel);
        EXPECT_EQ(plain_colour(c.sex), c.pixel);
    }
    const uint8_t* first = reinterpret_cast<const uint8_t*>(canvas->pixels);
    EXPECT_EQ(std::memcmp(first, "\xA8\xC2\xFE\xFF", 4), 0);  // R, G, B, A in memory
}

TEST(card, plain_path_without_usable_pixels) {
    struct test_case {
        const char* name;
        bool pixels;
        int w, h;
        char sex;
        uint32_t pixel;
    };
    const test_case cases[] = {
        {"no pixels", false, 10, 10, 'F', 0xFFF6BAF3},
        {"zero width", true, 0, 5, 'M', 0xFFFEC2A8},
        {"zero height", true, 5, 0, 'F', 0xFFF6BAF3},
    };
    for (const test_case& c : cases) {
        SCOPED_TRACE(c.name);
        auto canvas = dirty_canvas();
        unsigned char* pixels = c.pixels ? stb_copy(busy_picture(5, 5)) : nullptr;
        compose_card(canvas.get(), pixels, c.w, c.h, c.sex);
        for (uint32_t p : canvas->pixels) ASSERT_EQ(p, c.pixel);
    }
}

TEST(card, measure_card_layout) {
    for (const layout_case& c : layout_cases()) {
        SCOPED_TRACE(c.name);
        card_layout got{};
        measure_card_layout(c.pic.pixels.data(), c.pic.width, c.pic.height, &got);
        EXPECT_EQ(got.left, c.want.left);
        EXPECT_EQ(got.right, c.want.right);
        EXPECT_EQ(got.top, c.want.top);
        EXPECT_EQ(got.width, c.want.width);
        EXPECT_EQ(got.height, c.want.height);
        EXPECT_EQ(got.fit_x, c.want.fit_x);
        EXPECT_EQ(got.fit_y, c.want.fit_y);
        EXPECT_EQ(got.fit_w, c.want.fit_w);
        EXPECT_EQ(got.fit_h, c.want.fit_h);
    }
}

// The canvas after compose_card: pixel 0 outside the fitted region and in its
// last column, opaque inside, and the region's top-left pixel is the drawn
// part's top-left pixel (a zero fraction samples it exactly).
TEST(card, compose_card_places_the_picture) {
    std::vector<layout_case> cases = layout_cases();
    cases.push_back({"transparent pixel 0", with_clear_pixel0(busy_picture(240, 320)),
                     {0, 0, 0, 240, 320, 0, 16, 252, 336}});
    for (const layout_case& c : cases) {
        SCOPED_TRACE(c.name);
        const card_layout& l = c.want;
        const uint32_t pixel0 = c.pic.pixels[0];
        auto canvas = dirty_canvas();
        compose_card(canvas.get(), stb_copy(c.pic), c.pic.width, c.pic.height, 'F');
        for (int y = 0; y < card_height; ++y) {
            for (int x = 0; x < card_width; ++x) {
                const uint32_t got = canvas->pixels[y * card_width + x];
                const bool drawn = x >= l.fit_x && x < l.fit_x + l.fit_w - 1 && y >= l.fit_y &&
                                   y < l.fit_y + l.fit_h;
                if (!drawn) {
                    ASSERT_EQ(got, pixel0) << x << "," << y;
                } else {
                    ASSERT_EQ(got >> 24, 0xFFu) << x << "," << y;
                }
            }
        }
        if (l.fit_w > 1 && l.fit_h > 0) {
            const uint32_t corner = c.pic.pixels[size_t(l.top) * c.pic.width + l.left];
            EXPECT_EQ(canvas->pixels[l.fit_y * card_width + l.fit_x], corner | 0xFF000000);
        }
        if (c.pic.width == card_width && c.pic.height == card_height) {
            for (int i = 0; i < card_pixel_count; ++i) {
                if (i % card_width != card_width - 1) {
                    ASSERT_EQ(canvas->pixels[i], c.pic.pixels[i] | 0xFF000000) << i;
                }
            }
        }
    }
}
