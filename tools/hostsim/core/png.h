// A minimal PNG encoder for window pictures: 8-bit RGB, no filtering, the image data in
// stored (uncompressed) deflate blocks. Larger than a compressed file, but needs no
// library and any viewer or converter reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallymark::hostsim {

// `rgb` holds height rows of width pixels, top row first, three bytes per pixel.
std::vector<uint8_t> encodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t adler32(const uint8_t* data, size_t size);

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tallymark::hostsim
