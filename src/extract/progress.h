// The running percentage: "\r%2u%%" before every scan position.
//
// A scan visits one position per byte, so the stream is written in bulk: the
// four-byte text of the current percentage is repeated in a block and written
// with one call per run of positions, and flushed when the percentage changes.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int progress_unit_bytes = 4;       // "\r" + two digits + "%"
constexpr int progress_block_units = 16384;  // one 64 KiB write at a time

struct progress_stream {
    FILE* out;
    uint64_t size;       // scene length, the 100 % mark
    uint32_t percent;    // percentage the block is filled with
    bool block_ready;
    char block[progress_unit_bytes * progress_block_units];
};

void progress_start(progress_stream* s, FILE* out, uint32_t size);

// Emits the text for each position in [from, to), all of them below `size`.
void progress_positions(progress_stream* s, uint64_t from, uint64_t to);
