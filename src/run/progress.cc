#include "run/progress.h"

#include "platform/file.h"

namespace {

size_t stdio_write(FILE* out, const char* data, size_t len) { return text_write(out, data, len); }

// Percentages stay below 100 because every position is below the size, so
// "%2u" always yields two characters.
void fill_block(progress_stream* s, uint32_t percent) {
    const char unit[progress_unit_bytes] = {'\r', percent < 10 ? ' ' : char('0' + percent / 10),
                                            char('0' + percent % 10), '%'};
    for (int i = 0; i < progress_block_units; ++i)
        for (int k = 0; k < progress_unit_bytes; ++k) s->block[i * progress_unit_bytes + k] = unit[k];
    s->percent = percent;
    s->block_ready = true;
}

void write_units(progress_stream* s, uint64_t count) {
    while (count > 0 && !s->failed) {
        const uint64_t n = count < s->units_per_write ? count : s->units_per_write;
        const size_t len = size_t(n) * progress_unit_bytes;
        s->failed = s->write(s->out, s->block, len) != len;
        count -= n;
    }
}

}  // namespace

void progress_start(progress_stream* s, FILE* out, uint32_t size, uint32_t max_write, bool once) {
    const uint32_t units = max_write / progress_unit_bytes;
    s->out = out;
    s->write = stdio_write;
    s->size = size;
    s->units_per_write = units < 1 ? 1 : units > progress_block_units ? progress_block_units : units;
    s->percent = 0;
    s->once = once;
    s->block_ready = false;
    s->failed = false;
    s->line_open = false;
    s->silent = false;
}

void progress_positions(progress_stream* s, uint64_t from, uint64_t to) {
    if (s->silent) return;
    while (from < to && !s->failed) {
        // Position p shows p * 100 / size, truncated; the products fit in 64 bits.
        const uint32_t percent = uint32_t(from * 100 / s->size);
        // First position that shows the next percentage: ceil((q + 1) * size / 100).
        const uint64_t next = ((uint64_t(percent) + 1) * s->size + 99) / 100;
        const uint64_t run_end = next < to ? next : to;
        const bool changed = !s->block_ready || s->percent != percent;
        if (changed) fill_block(s, percent);
        if (changed || !s->once) write_units(s, s->once ? 1 : run_end - from);
        if (changed && !s->failed) s->failed = std::fflush(s->out) != 0;
        if (changed && s->once) s->line_open = true;
        from = run_end;
    }
}

void progress_end_line(progress_stream* s) {
    if (!s->line_open) return;
    s->line_open = false;
    if (!s->failed) s->failed = s->write(s->out, "\r\n", 2) != 2 || std::fflush(s->out) != 0;
}
