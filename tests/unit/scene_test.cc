// Recognising scene files, and the checksum behind names and duplicates.
#include <gtest/gtest.h>

#include "scene/crc32.h"
#include "scene/scene.h"
#include "scene_builder.h"

TEST(crc32, check_values) {
    // Nine bytes: one eight-byte step and one single byte; 43: five and three.
    const std::string nine = "123456789", fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(nine.data()), 9), 0xCBF43926u);
    EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(fox.data()), 43), 0x414FA339u);
}

TEST(scene, find_scene_data) {
    // png_head() (IHDR, IDAT, IEND: a walk of three steps) or a bare signature
    // and IEND chunk, then `more` bytes, with `values` written at `at`.
    auto scene = [](bool bare, size_t more, size_t at = 0, bytes values = {}) {
        bytes b = png_head();
        if (bare) b = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0, 0, 0, 0};
        b.resize(b.size() + more, 0x41);
        std::copy(values.begin(), values.end(), b.begin() + long(at));
        return b;
    };
    const uint32_t head = uint32_t(png_head().size() - 12);
    using f = scene_fault;
    const struct {
        const char* name;
        bytes file;
        uint32_t iend;  // 0: not a scene
        scene_fault fault;
    } cases[] = {
        {"63 bytes", scene(true, 43), 0, f::too_small},
        {"64 bytes: signature, IEND, 44 more", scene(true, 44), 8, f::none},
        {"30 bytes after IEND", scene(false, 30), 0, f::too_little_after_iend},
        {"31 bytes after IEND", scene(false, 31), head, f::none},
        {"chunk length by its low 24 bits", scene(false, 31, 8, {0x7F}), head, f::none},
        {"walk runs off the end", scene(false, 31, 9, {0xFF, 0xFF}), 0, f::no_iend},
        {"first byte not 0x89", scene(true, 44, 0, {0x88}), 0, f::no_signature},
        {"second byte not 'P'", scene(true, 44, 1, {'Q'}), 0, f::no_signature},
        {"third byte not 'N'", scene(true, 44, 2, {'n'}), 0, f::no_signature},
        {"fourth byte not 'G'", scene(true, 44, 3, {'g'}), 0, f::no_signature},
        {"signature bytes 4 to 7 not compared", scene(true, 44, 4, {0, 0, 0, 0}), 8, f::none},
    };
    for (const auto& c : cases) {
        uint32_t iend = 0;
        scene_fault fault = f::none;
        EXPECT_EQ(find_scene_data(c.file.data(), uint32_t(c.file.size()), &iend, &fault), c.iend != 0) << c.name;
        EXPECT_EQ(int(fault), int(c.fault)) << c.name;
        EXPECT_EQ(*scene_fault_text(fault) == 0, c.fault == f::none) << c.name;
        if (c.iend) EXPECT_EQ(iend, c.iend) << c.name;
    }
}
