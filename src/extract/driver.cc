#include "extract/driver.h"

#include <cstdlib>
#include <cstring>

#include "card/composer.h"
#include "card/face_decoder.h"
#include "card/png_encoder.h"
#include "extract/crc32.h"
#include "extract/marker_table.h"
#include "extract/options.h"
#include "extract/progress.h"
#include "extract/record.h"
#include "extract/scene.h"
#include "platform/file.h"

namespace {

// Working storage of one scan, all of fixed size.
struct scan_state {
    card_canvas canvas;              // reused for every card
    uint32_t written_crcs[max_cards];  // CRC-32 of each record written, in order
    progress_stream progress;
    extent_cache extents;            // entry-table maxima, allocated when needed
};

bool already_written(const scan_state& s, uint32_t written, uint32_t crc) {
    for (uint32_t i = 0; i < written; ++i)
        if (s.written_crcs[i] == crc) return true;
    return false;
}

// Draws, encodes and hands over one record's card unless the same record bytes
// were written before. Counts the card only when the sink stored all of it;
// otherwise its checksum slot is taken by the next new record.
void extract_record(scan_state& s, const uint8_t* scene, const record_info& rec,
                    const card_sink& sink, scan_totals* totals) {
    const uint8_t* record = scene + rec.first;
    const size_t record_len = rec.end - rec.first;
    const uint32_t crc = crc32(record, record_len);
    if (already_written(s, totals->written, crc)) return;
    s.written_crcs[totals->written] = crc;

    unsigned char* pixels = nullptr;
    int w = 0;
    int h = 0;
    if (rec.face_len != 0 && rec.face_pos != 0)
        pixels = decode_face(scene + rec.face_pos, rec.face_len, &w, &h);
    compose_card(&s.canvas, pixels, w, h, rec.sex);

    int png_len = 0;
    unsigned char* png = encode_card_png(&s.canvas, &png_len);
    if (!png) return;
    if (sink.write(sink.context, rec.name, png, size_t(png_len), record, record_len))
        ++totals->written;
    std::free(png);
}

}  // namespace

void scan_scene(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                marker_set markers, const card_sink& sink, FILE* out, scan_totals* totals) {
    // About 420 KiB; the stack holds it (the Windows build reserves 2 MiB).
    scan_state s;
    std::memset(s.written_crcs, 0, sizeof s.written_crcs);
    progress_start(&s.progress, out, size, console_write_max);
    extent_cache_start(&s.extents);
    *totals = scan_totals{0, 0};

    uint64_t pos = start;
    while (pos < size && totals->written < max_cards) {
        const marker_row* row = nullptr;
        const uint64_t at = find_next_marker(scene, size, pos, markers, &row);
        if (at >= size) {
            progress_positions(&s.progress, pos, size);
            break;
        }
        // Every position up to and including the match shows its percentage.
        progress_positions(&s.progress, pos, at + 1);
        record_info rec;
        if (!parse_record(scene, size, uint32_t(at), *row, path_tag, totals->written, &rec,
                          &s.extents)) {
            pos = at + 1;  // a record that would leave the buffer is no match
            continue;
        }
        extract_record(s, scene, rec, sink, totals);
        ++totals->matches;
        pos = rec.end;  // the next position examined is the record's end itself
    }
    extent_cache_release(&s.extents);
    std::fflush(out);
}

void print_summary(FILE* out, const scan_totals& totals) {
    const uint32_t skipped = totals.matches - totals.written;
    if (totals.written == 0) {
        std::fprintf(out, "\rNo characters found!\r\n");
        return;
    }
    std::fprintf(out, "\rExtracted %u character%s", unsigned(totals.written),
                 totals.written > 1 ? "s" : "");
    if (skipped != 0)
        std::fprintf(out, " (%u duplication%s skipped)", unsigned(skipped), skipped > 1 ? "s" : "");
    std::fprintf(out, ".\r\n");
}

int cardlift_main(int argc, char** argv) {
    prepare_console();
    const marker_set markers = take_marker_option(&argc, &argv);
    if (argc <= 1) {
        std::printf("Extract character cards from Illusion/IllGames scene files\r\n\r\n");
        std::printf("cardlift <scene.png>\r\n");
        return 1;
    }

    const char* path = argv[1];
    loaded_file file{nullptr, 0};
    uint32_t iend = 0;
    if (!load_whole_file(path, &file) || !find_scene_data(file.data, file.size, &iend)) {
        std::fprintf(stderr, "not a scene file\r\n");
        std::free(file.data);
        return 1;
    }

    // Cards from different scene paths get different names.
    const uint32_t path_tag = crc32(reinterpret_cast<const uint8_t*>(path), std::strlen(path));
    const card_sink sink{write_card_file, nullptr};
    scan_totals totals;
    scan_scene(file.data, file.size, iend, path_tag, markers, sink, stdout, &totals);
    std::free(file.data);
    print_summary(stdout, totals);
    std::fflush(stdout);
    return 0;
}
