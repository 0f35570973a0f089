// Runs the whole extraction over bytes held in memory, as the fuzz targets
// need it: no file is read or written, cards are checked and dropped.
#pragma once

#include <cstddef>
#include <cstdint>

// Treats `data` as a scene file: the scene checks, the scan, both record
// layouts, face decoding, composition, scaling and PNG encoding. Aborts when
// a card or the totals break an invariant that must hold for any input, or
// when drawing the cards on worker threads changes anything the run gives.
void run_scene_bytes(const uint8_t* data, size_t size);
