#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::v4l2 {

// An 8-bit RGB picture, rows top to bottom, no padding.
struct RGBFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Packed YUYV 4:2:2 (Y0 U Y1 V per two pixels, ITU-R BT.601 limited range) to
// RGB. `bytesPerLine` may exceed width * 2 (padded rows). False when the
// buffer is too small for the geometry or the width is odd.
bool yuyvToRGB(const std::uint8_t* data, std::size_t size, int width, int height, int bytesPerLine, RGBFrame& frame);

// One Motion-JPEG frame to RGB. Frames without Huffman tables (as many
// cameras send them) decode with the standard tables. `error` tells why a
// corrupt frame was refused.
bool mjpegToRGB(const std::uint8_t* data, std::size_t size, RGBFrame& frame, std::string* error = nullptr);

}  // namespace platform::v4l2
