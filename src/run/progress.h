// The running percentage: "\r%2u%%" before every scan position.
//
// A scan visits one position per byte, so the stream is written in bulk: the
// four-byte text of the current percentage is repeated in a block and written
// with one call per run of positions, and flushed when the percentage changes.
//
// On a terminal or console the repeats cost the whole run (a console renders
// text far more slowly than a file takes it) and show nothing: each text
// overwrites the one before. There each percentage's text is written once,
// when it changes; anything else (a file, a pipe) gets the stream in full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int progress_unit_bytes = 4;       // "\r" + two digits + "%"
constexpr int progress_block_units = 16384;  // 64 KiB of text, the largest write

// Hands `len` bytes to `out` and returns how many were taken.
using progress_write_fn = size_t (*)(FILE* out, const char* data, size_t len);

struct progress_stream {
    FILE* out;
    progress_write_fn write;  // fwrite, unless a test watches the writes
    uint64_t size;            // scene length, the 100 % mark
    uint32_t units_per_write; // 1 to progress_block_units
    uint32_t percent;         // percentage the block is filled with
    bool once;                // each percentage's text once, for a terminal
    bool block_ready;
    // A write or flush fell short (a pipe whose reader quit, a closed stream):
    // the rest of the text is dropped instead of being offered again per block.
    bool failed;
    // With `once`: a percentage stands on the line, with no line end after it.
    bool line_open;
    bool silent;  // nothing is written at all (--quiet, a listing, JSON)
    char block[progress_unit_bytes * progress_block_units];
};

// No write hands over more than `max_write` bytes (whole texts, at least one).
// With `once`, a percentage's text is written only at the first position that
// shows it.
void progress_start(progress_stream* s, FILE* out, uint32_t size, uint32_t max_write, bool once);

// Emits the text for each position in [from, to), all of them below `size`
// (with `once`: for the positions whose percentage differs from the last one
// written).
void progress_positions(progress_stream* s, uint64_t from, uint64_t to);

// On a terminal, ends the line a percentage stands on, so that a message on
// standard error (the same screen) starts on a line of its own; the next
// percentage follows on the next line. Writes nothing elsewhere: a stored
// stream stays exactly the progress texts.
void progress_end_line(progress_stream* s);
