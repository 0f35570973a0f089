// What the card run cannot avoid: one stb decode of every face picture and one
// stb encode of every card picture, without the tool around them.
//
// It runs as a process of its own, holding its input in one large buffer as
// the tool holds the scene, so that the allocator starts from the same state:
// stb's allocations make the heap grow and shrink around each card, and a
// process whose heap had grown before would not pay for that.
//
// usage: cardlift_stb_only <stb_work.bin>; prints "<wall seconds> <CPU seconds>".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <stb/stb_image.h>

#include "card/canvas.h"
#include "card/png_encoder.h"
#include "child_run.h"

namespace {

uint32_t read_le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

unsigned char* read_whole(const char* path, size_t* size) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return nullptr;
    std::fseek(f, 0, SEEK_END);
    *size = size_t(std::ftell(f));
    std::fseek(f, 0, SEEK_SET);
    unsigned char* data = static_cast<unsigned char*>(std::malloc(*size));
    if (data && std::fread(data, 1, *size, f) != *size) {
        std::free(data);
        data = nullptr;
    }
    std::fclose(f);
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    size_t size = 0;
    unsigned char* work = read_whole(argv[1], &size);
    if (!work || size < 4) return 1;

    const timing start = clocks_now();
    const unsigned char* p = work + 4;
    const unsigned char* end = work + size;
    for (uint32_t i = read_le32(work); i > 0; --i) {
        if (end - p < 4) return 1;
        const uint32_t face_len = read_le32(p);
        p += 4;
        if (size_t(end - p) < size_t(face_len) + sizeof(card_canvas)) return 1;
        int w = 0, h = 0, channels = 0;
        stbi_image_free(stbi_load_from_memory(p, int(face_len), &w, &h, &channels, 4));
        p += face_len;
        // The canvas is read in place, as the tool passes its own canvas.
        int length = 0;
        std::free(stbi_write_png_to_mem(p, card_row_bytes, card_width, card_height, 4, &length));
        p += sizeof(card_canvas);
    }
    const timing stop = clocks_now();
    std::printf("%.6f %.6f\n", stop.wall - start.wall, stop.cpu - start.cpu);
    std::free(work);
    return 0;
}
