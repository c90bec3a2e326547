#include "platform/desktop/v4l2/V4L2FrameConversion.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace platform::v4l2 {

namespace {

std::uint8_t clampToByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

// BT.601 limited range in 8.8 fixed point.
void yuvToRGB(int y, int u, int v, std::uint8_t* out) {
    const int c = 298 * (y - 16);
    const int d = u - 128;
    const int e = v - 128;
    out[0] = clampToByte((c + 409 * e + 128) >> 8);
    out[1] = clampToByte((c - 100 * d - 208 * e + 128) >> 8);
    out[2] = clampToByte((c + 516 * d + 128) >> 8);
}

// libjpeg reports fatal errors through error_exit, which must not return;
// jumping back keeps a corrupt frame from ending the process.
struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf recovery;
    char message[JMSG_LENGTH_MAX];
};

void jumpBack(j_common_ptr info) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->recovery, 1);
}

void ignoreWarning(j_common_ptr, int) {}

}  // namespace

bool yuyvToRGB(const std::uint8_t* data, std::size_t size, int width, int height, int bytesPerLine, RGBFrame& frame) {
    if (!data || width <= 0 || height <= 0 || width % 2 != 0) return false;
    if (bytesPerLine < width * 2) bytesPerLine = width * 2;
    const std::size_t needed =
        static_cast<std::size_t>(bytesPerLine) * (height - 1) + static_cast<std::size_t>(width) * 2;
    if (size < needed) return false;
    frame.width = width;
    frame.height = height;
    frame.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = data + static_cast<std::size_t>(row) * bytesPerLine;
        std::uint8_t* out = &frame.rgb[static_cast<std::size_t>(row) * width * 3];
        for (int x = 0; x < width; x += 2, in += 4, out += 6) {
            yuvToRGB(in[0], in[1], in[3], out);
            yuvToRGB(in[2], in[1], in[3], out + 3);
        }
    }
    return true;
}

bool mjpegToRGB(const std::uint8_t* data, std::size_t size, RGBFrame& frame, std::string* error) {
    if (!data || size < 4) {
        if (error) *error = "empty JPEG frame";
        return false;
    }
    jpeg_decompress_struct info{};
    JpegErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpBack;
    errors.base.emit_message = ignoreWarning;
    // Everything the jump may skip lives outside this frame of setjmp.
    std::vector<std::uint8_t> pixels;
    if (setjmp(errors.recovery)) {
        if (error) *error = errors.message;
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const auto rowBytes = static_cast<std::size_t>(info.output_width) * 3;
    pixels.resize(rowBytes * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &pixels[rowBytes * info.output_scanline];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    frame.width = static_cast<int>(info.output_width);
    frame.height = static_cast<int>(info.output_height);
    frame.rgb = std::move(pixels);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace platform::v4l2
