#pragma once
// A minimal PNG writer: 8-bit RGB, unfiltered rows, zlib stored blocks.

#include <cstdint>
#include <string>
#include <vector>

namespace testpng {

// rgb holds width * height pixels, 3 bytes each, top row first.
std::vector<uint8_t> encodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);
// Encodes and writes the file; false when it cannot be written.
bool writePng(const std::wstring& path, uint32_t width, uint32_t height,
              const std::vector<uint8_t>& rgb);

} // namespace testpng
