#include "run/face_allowance.h"

void face_allowance_start(face_allowance* a, uint32_t scene_size) {
    a->left = face_allowance_floor + face_allowance_per_scene_byte * scene_size;
    a->count = 0;
}

bool face_allowance_known(const face_allowance* a, uint32_t crc, bool* granted) {
    for (uint32_t i = 0; i < a->count; ++i)
        if (a->crcs[i] == crc) {
            *granted = a->granted[i];
            return true;
        }
    return false;
}

bool face_allowance_grant(face_allowance* a, uint32_t crc, uint64_t cost) {
    bool known = false;
    if (face_allowance_known(a, crc, &known)) return known;
    const bool granted = cost <= a->left;
    if (granted) a->left -= cost;
    if (a->count < face_allowance_memory) {
        a->crcs[a->count] = crc;
        a->granted[a->count++] = granted;
    }
    return granted;
}
