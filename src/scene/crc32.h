// CRC-32 as used by PNG and zlib (reflected polynomial 0xEDB88320, register
// preset to all ones, complemented at the end). Tags output names with the
// scene path and recognises records already written.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t crc32(const uint8_t* data, size_t length);
