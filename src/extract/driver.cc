#include "extract/driver.h"

#include <cstdlib>
#include <cstring>

#include "extract/card_order.h"
#include "extract/card_pool.h"
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
    card_canvas canvas;    // for cards drawn on the scanning thread
    progress_stream progress;
    extent_cache extents;  // entry-table maxima, allocated when needed
    card_order order;
};

}  // namespace

void scan_scene(const uint8_t* scene, uint32_t size, uint32_t start, uint32_t path_tag,
                marker_set markers, uint32_t workers, const card_sink& sink, FILE* out,
                scan_totals* totals) {
    // About 460 KiB; the stack holds it (the Windows build reserves 2 MiB).
    scan_state s;
    *totals = scan_totals{0, 0};
    progress_start(&s.progress, out, size, console_write_max);
    extent_cache_start(&s.extents);
    card_order_start(&s.order, scene, &sink, path_tag, workers, &s.canvas, &s.progress, totals);

    uint64_t pos = start;
    while (pos < size && !s.order.full) {
        const marker_row* row = nullptr;
        const uint64_t at = find_next_marker(scene, size, pos, markers, &row);
        if (at >= size) {
            card_order_progress(&s.order, pos, size);
            break;
        }
        // Every position up to and including the match shows its percentage.
        card_order_progress(&s.order, pos, at + 1);
        record_info rec;
        if (!parse_record(scene, size, uint32_t(at), *row, &rec, &s.extents)) {
            pos = at + 1;  // a record that would leave the buffer is no match
            continue;
        }
        card_order_add(&s.order, rec, *row);
        pos = rec.end;  // the next position examined is the record's end itself
    }
    card_order_finish(&s.order);
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
    const uint32_t workers =
        worker_count_from(std::getenv(workers_variable), max_workers, default_worker_count());
    scan_totals totals;
    scan_scene(file.data, file.size, iend, path_tag, markers, workers, sink, stdout, &totals);
    std::free(file.data);
    print_summary(stdout, totals);
    std::fflush(stdout);
    return 0;
}
