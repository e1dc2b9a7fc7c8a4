#include "png.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace tallymark::hostsim {
namespace {

uint32_t bigEndian(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

struct Decoded {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

// Reads back what encodePng writes: checks every chunk's CRC, inflates the stored
// blocks, checks the Adler-32, drops the filter bytes.
Decoded decode(const std::vector<uint8_t>& png) {
  const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_EQ(std::memcmp(png.data(), signature, 8), 0);
  Decoded d;
  std::vector<uint8_t> zlib;
  std::vector<std::string> order;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = bigEndian(png, at);
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    order.push_back(type);
    EXPECT_EQ(crc32(png.data() + at + 4, length + 4), bigEndian(png, at + 8 + length)) << type;
    if (type == "IHDR") {
      d.width = bigEndian(png, at + 8);
      d.height = bigEndian(png, at + 12);
      EXPECT_EQ(png[at + 16], 8);  // bit depth
      EXPECT_EQ(png[at + 17], 2);  // RGB
    } else if (type == "IDAT") {
      zlib.insert(zlib.end(), png.begin() + at + 8, png.begin() + at + 8 + length);
    }
    at += 12 + length;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0);
  std::vector<uint8_t> raw;
  size_t at = 2;
  for (bool last = false; !last;) {
    last = zlib[at] & 1;
    EXPECT_EQ(zlib[at] >> 1, 0) << "stored block";
    const size_t length = zlib[at + 1] | (zlib[at + 2] << 8);
    EXPECT_EQ(length ^ 0xFFFF, size_t(zlib[at + 3] | (zlib[at + 4] << 8)));
    raw.insert(raw.end(), zlib.begin() + at + 5, zlib.begin() + at + 5 + length);
    at += 5 + length;
  }
  EXPECT_EQ(adler32(raw.data(), raw.size()), bigEndian(zlib, at));
  const size_t stride = size_t{d.width} * 3;
  for (size_t y = 0; y < d.height; ++y) {
    EXPECT_EQ(raw[y * (stride + 1)], 0) << "filter none";
    d.rgb.insert(d.rgb.end(), raw.begin() + y * (stride + 1) + 1,
                 raw.begin() + (y + 1) * (stride + 1));
  }
  return d;
}

TEST(Png, ChecksumsMatchTheirPublishedCheckValues) {
  const char* digits = "123456789";
  EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(digits), 9), 0xCBF43926u);
  const char* word = "Wikipedia";
  EXPECT_EQ(adler32(reinterpret_cast<const uint8_t*>(word), 9), 0x11E60398u);
}

TEST(Png, SmallImageReadsBackPixelForPixel) {
  std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3};
  Decoded d = decode(encodePng(2, 2, rgb));
  EXPECT_EQ(d.width, 2u);
  EXPECT_EQ(d.height, 2u);
  EXPECT_EQ(d.rgb, rgb);
}

TEST(Png, ImageLargerThanOneStoredBlockSpansSeveralBlocks) {
  const uint32_t w = 380, h = 120;  // 137 kB of rows: three stored blocks
  std::vector<uint8_t> rgb(size_t{w} * h * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7 + i / 1000);
  std::vector<uint8_t> png = encodePng(w, h, rgb);
  Decoded d = decode(png);
  EXPECT_EQ(d.width, w);
  EXPECT_EQ(d.height, h);
  EXPECT_EQ(d.rgb, rgb);
}

TEST(Png, RefusesABufferThatDoesNotMatchTheSize) {
  EXPECT_THROW(encodePng(2, 2, std::vector<uint8_t>(11)), std::invalid_argument);
  EXPECT_THROW(encodePng(0, 1, {}), std::invalid_argument);
}

}  // namespace
}  // namespace tallymark::hostsim
