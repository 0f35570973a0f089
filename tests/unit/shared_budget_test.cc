// Face decodes side by side hold no more than the budget together, and each
// gets the picture it would get alone.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <stb/stb_image.h>

#include "card/face_decoder.h"
#include "card/shared_budget.h"
#include "png_builder.h"

namespace {

struct decoded {
    std::vector<uint8_t> rgba;  // empty when refused
    int w = 0, h = 0;
    bool operator==(const decoded&) const = default;
};

decoded decode(const bytes& png) {
    decoded d;
    unsigned char* p = decode_face(png.data(), uint32_t(png.size()), &d.w, &d.h);
    if (p) d.rgba.assign(p, p + size_t(d.w) * size_t(d.h) * 4);
    stbi_image_free(p);
    return d;
}

}  // namespace

// Parts never add up past the budget, the whole is held alone, nobody waits for ever.
TEST(shared_budget, parts_fit_and_the_whole_is_held_alone) {
    constexpr uint64_t budget = 1000;
    std::atomic<uint64_t> held{0};
    std::atomic<int> whole_holders{0};
    std::atomic<bool> broken{false};
    auto worker = [&](uint32_t seed, bool wants_whole) {
        for (int i = 0; i < 300; ++i) {
            seed = seed * 1103515245u + 12345u;
            const bool whole = wants_whole && i % 10 == 0;
            const uint64_t part = whole ? budget : 1 + (seed >> 8) % budget;  // up to the whole budget
            whole ? shared_budget_take_all() : shared_budget_take(part, budget);
            // Both counted even when the first already fails (`|`, not `||`).
            if ((whole_holders.fetch_add(whole) != 0) | (held.fetch_add(part) + part > budget)) broken = true;
            std::this_thread::yield();
            whole_holders.fetch_sub(whole);
            held.fetch_sub(part);
            whole ? shared_budget_give_all() : shared_budget_give(part);
        }
    };
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) threads.emplace_back(worker, t + 1, t < 2);
    for (std::thread& t : threads) t.join();
    EXPECT_FALSE(broken.load());
}

// A stream inflating far past its header's promise (an interlaced 2 x 2 picture's
// rows, then 24 MiB of zeros stb_image accepts) is decoded again with the whole
// budget; one past the budget is refused. Four threads at once get what one does.
TEST(shared_budget, pictures_are_the_same_side_by_side) {
    const png_format interlaced{.width = 2, .height = 2, .colour = 6, .interlace = 1};
    const std::vector<bytes> faces = {
        png_with_stream(interlaced, zlib_zero_run(24u << 20)),
        png_with_stream(interlaced, zlib_zero_run(face_decode_budget)),
        build_png({.format = {.width = 240, .height = 320}, .seed = 7}),
        build_png({.format = {.width = 31, .height = 17, .depth = 16, .colour = 2, .interlace = 1}}),
    };
    std::vector<decoded> alone;
    for (const bytes& face : faces) alone.push_back(decode(face));
    EXPECT_EQ(alone[0].w, 2);
    EXPECT_EQ(alone[0].rgba, std::vector<uint8_t>(16, 0));
    EXPECT_TRUE(alone[1].rgba.empty());
    EXPECT_FALSE(alone[2].rgba.empty());

    std::vector<std::thread> threads;
    for (size_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (size_t i = t; i < t + faces.size(); ++i)
                EXPECT_EQ(decode(faces[i % faces.size()]), alone[i % faces.size()]) << "thread " << t;
        });
    for (std::thread& t : threads) t.join();
}
