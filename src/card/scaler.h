// 16.16 fixed-point bilinear scaler between two pixel buffers.
#pragma once

#include <cstdint>

// Largest destination extent the step tables hold.
constexpr int scale_max_extent = 352;

// Scales the source region (top-left pixel index `o`, `sw` x `sh`, rows `ss`
// pixels apart, `n` pixels in the whole buffer) onto the destination region at
// (`dx`, `dy`), `dw` x `dh`, rows `ds` pixels apart. The caller guarantees
// sw, sh >= 1, both regions inside their buffers and dw, dh <= 352.
//
// Written pixels get alpha 255. The region's last column is never written, and
// samples past the source's last pixel read that last pixel.
void scale_bilinear(uint32_t* dst, int ds, int dx, int dy, int dw, int dh,
                    const uint32_t* src, int64_t n, int ss, int64_t o, int sw, int sh);
