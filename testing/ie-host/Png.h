#pragma once
// A minimal PNG writer: 8-bit RGB, no filtering, zlib stored blocks.

#include <cstdint>
#include <string>
#include <vector>

namespace IeHost {

// rgb holds width * height pixels, 3 bytes each, rows top to bottom.
bool writePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rgb);
std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgb);

} // namespace IeHost
