#include "card/composer.h"

#include <cstdlib>

#include <stb/stb_image.h>

#include "card/colours.h"
#include "card/scaler.h"

namespace {

// Only the upper five bits of red, green and blue decide whether a pixel is
// background; alpha and the low three bits of each colour are noise.
constexpr uint32_t background_mask = 0xF8F8F8;

bool column_is_background(const uint32_t* pixels, int w, int h, int column, uint32_t key) {
    for (int y = 0; y < h; ++y)
        if ((pixels[int64_t(y) * w + column] & background_mask) != key) return false;
    return true;
}

bool row_is_background(const uint32_t* pixels, int w, int row, uint32_t key) {
    const uint32_t* line = pixels + int64_t(row) * w;
    for (int x = 0; x < w; ++x)
        if ((line[x] & background_mask) != key) return false;
    return true;
}

}  // namespace

void measure_card_layout(const uint32_t* pixels, int w, int h, card_layout* out) {
    const uint32_t key = pixels[0] & background_mask;

    // Columns count anywhere within their outer third, not only as runs from
    // the edge; the drawn part always starts at column L.
    int left = 0;
    int width = w;
    for (int i = 0; i < w / 3; ++i) {
        if (column_is_background(pixels, w, h, i, key)) {
            ++left;
            --width;
        }
        if (column_is_background(pixels, w, h, w - 1 - i, key)) --width;
    }
    // The bottom is never cut: only the top third is examined.
    int top = 0;
    for (int i = 0; i < h / 3; ++i)
        if (row_is_background(pixels, w, i, key)) ++top;
    const int height = h - top;

    // Fill the card's width, or its height for a tall picture. The products
    // are formed in 64 bits so that no picture size can overflow them; for
    // every size where 32 bits suffice the result is the same.
    int64_t fit_h = int64_t(height) * card_width / width;
    int64_t fit_w = card_width;
    if (fit_h > card_height) {
        fit_h = card_height;
        fit_w = int64_t(width) * card_height / height;
    }

    out->left = left;
    out->right = w - left - width;
    out->top = top;
    out->width = width;
    out->height = height;
    out->fit_w = int(fit_w);
    out->fit_h = int(fit_h);
    // Centred with an odd spare column falling to the right; standing on the
    // card's bottom edge.
    out->fit_x = int((card_width - fit_w) / 2);
    out->fit_y = int(card_height - fit_h);
}

void compose_card(card_canvas* canvas, unsigned char* pixels, int w, int h, char sex) {
    if (!pixels || w <= 0 || h <= 0) {
        fill_card_plain(canvas, sex);
        if (pixels) stbi_image_free(pixels);
        return;
    }
    const uint32_t* picture = reinterpret_cast<const uint32_t*>(pixels);

    // Pixel 0 is the background, alpha included; what the scaler leaves alone
    // (outside the fitted region and its last column) keeps it.
    const uint32_t background = picture[0];
    for (uint32_t& pixel : canvas->pixels) pixel = background;

    card_layout layout;
    measure_card_layout(picture, w, h, &layout);
    scale_bilinear(canvas->pixels, card_width, layout.fit_x, layout.fit_y, layout.fit_w,
                   layout.fit_h, picture, int64_t(w) * h, w,
                   int64_t(layout.top) * w + layout.left, layout.width, layout.height);
    stbi_image_free(pixels);
}
