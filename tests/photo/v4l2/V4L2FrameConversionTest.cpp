#include "platform/desktop/v4l2/V4L2Camera.h"
#include "platform/desktop/v4l2/V4L2Capture.h"
#include "platform/desktop/v4l2/V4L2FrameConversion.h"
#include "platform/foundation/FileManager.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

using platform::v4l2::RGBFrame;

namespace {

void expectPixelNear(const RGBFrame& frame, int x, int y, int r, int g, int b, int tolerance) {
    const auto* p = &frame.rgb[(static_cast<std::size_t>(y) * frame.width + x) * 3];
    EXPECT_NEAR(p[0], r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(p[1], g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(p[2], b, tolerance) << "blue at " << x << "," << y;
}

// Two pixels per macro-pixel sharing U and V.
void putMacroPixel(std::vector<std::uint8_t>& yuyv, std::size_t offset, int y0, int u, int y1, int v) {
    yuyv[offset] = static_cast<std::uint8_t>(y0);
    yuyv[offset + 1] = static_cast<std::uint8_t>(u);
    yuyv[offset + 2] = static_cast<std::uint8_t>(y1);
    yuyv[offset + 3] = static_cast<std::uint8_t>(v);
}

TEST(YuyvConversion, KnownColoursOfAPaddedFrame) {
    const int width = 4, height = 2, bytesPerLine = 12;  // 4 bytes of padding per row
    std::vector<std::uint8_t> yuyv(bytesPerLine * height, 0xEE);
    putMacroPixel(yuyv, 0, 16, 128, 235, 128);                  // black, white
    putMacroPixel(yuyv, 4, 81, 90, 81, 240);                    // red, red
    putMacroPixel(yuyv, bytesPerLine, 145, 54, 145, 34);        // green, green
    putMacroPixel(yuyv, bytesPerLine + 4, 126, 128, 126, 128);  // mid grey, mid grey
    RGBFrame frame;
    ASSERT_TRUE(platform::v4l2::yuyvToRGB(yuyv.data(), yuyv.size(), width, height, bytesPerLine, frame));
    ASSERT_EQ(frame.width, width);
    ASSERT_EQ(frame.height, height);
    ASSERT_EQ(frame.rgb.size(), 4u * 2 * 3);
    expectPixelNear(frame, 0, 0, 0, 0, 0, 1);
    expectPixelNear(frame, 1, 0, 255, 255, 255, 1);
    expectPixelNear(frame, 2, 0, 255, 0, 0, 3);
    expectPixelNear(frame, 3, 0, 255, 0, 0, 3);
    expectPixelNear(frame, 0, 1, 0, 255, 0, 3);
    expectPixelNear(frame, 1, 1, 0, 255, 0, 3);
    expectPixelNear(frame, 2, 1, 128, 128, 128, 1);
    expectPixelNear(frame, 3, 1, 128, 128, 128, 1);

    // Chroma is shared by a macro-pixel, so blue gets one of its own.
    std::vector<std::uint8_t> blue(4);
    putMacroPixel(blue, 0, 41, 240, 41, 110);
    RGBFrame blueFrame;
    ASSERT_TRUE(platform::v4l2::yuyvToRGB(blue.data(), blue.size(), 2, 1, 4, blueFrame));
    expectPixelNear(blueFrame, 0, 0, 0, 0, 255, 3);
}

TEST(YuyvConversion, RefusesBuffersThatDoNotFitTheGeometry) {
    std::vector<std::uint8_t> yuyv(4 * 2 * 2 - 1);
    RGBFrame frame;
    EXPECT_FALSE(platform::v4l2::yuyvToRGB(yuyv.data(), yuyv.size(), 4, 2, 8, frame));
    EXPECT_FALSE(platform::v4l2::yuyvToRGB(yuyv.data(), yuyv.size(), 3, 1, 6, frame));  // odd width
    EXPECT_FALSE(platform::v4l2::yuyvToRGB(nullptr, 0, 2, 1, 4, frame));
    EXPECT_TRUE(frame.rgb.empty());
}

// A baseline JPEG of a picture with four coloured quadrants, made with libjpeg.
std::vector<std::uint8_t> encodeQuadrants(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            const bool right = x >= width / 2, bottom = y >= height / 2;
            p[0] = right ? 255 : 0;
            p[1] = bottom ? 255 : 0;
            p[2] = (right && bottom) ? 0 : 255;
        }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgb[static_cast<std::size_t>(info.next_scanline) * width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> jpeg(out, out + size);
    std::free(out);
    return jpeg;
}

// Removes the Huffman table segments, as many cameras send their frames.
std::vector<std::uint8_t> withoutHuffmanTables(const std::vector<std::uint8_t>& jpeg) {
    std::vector<std::uint8_t> stripped(jpeg.begin(), jpeg.begin() + 2);
    std::size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        const std::uint8_t marker = jpeg[i + 1];
        const std::size_t length = (static_cast<std::size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (marker == 0xDA) break;  // start of scan: the rest is entropy-coded data
        if (marker != 0xC4) stripped.insert(stripped.end(), jpeg.begin() + i, jpeg.begin() + i + 2 + length);
        i += 2 + length;
    }
    stripped.insert(stripped.end(), jpeg.begin() + i, jpeg.end());
    return stripped;
}

TEST(MjpegConversion, DecodesAKnownFrame) {
    const auto jpeg = encodeQuadrants(32, 16);
    RGBFrame frame;
    std::string error;
    ASSERT_TRUE(platform::v4l2::mjpegToRGB(jpeg.data(), jpeg.size(), frame, &error)) << error;
    EXPECT_EQ(frame.width, 32);
    EXPECT_EQ(frame.height, 16);
    ASSERT_EQ(frame.rgb.size(), 32u * 16 * 3);
    expectPixelNear(frame, 4, 4, 0, 0, 255, 12);      // top left: blue
    expectPixelNear(frame, 28, 4, 255, 0, 255, 12);   // top right: magenta
    expectPixelNear(frame, 4, 12, 0, 255, 255, 12);   // bottom left: cyan
    expectPixelNear(frame, 28, 12, 255, 255, 0, 12);  // bottom right: yellow
}

TEST(MjpegConversion, FramesWithoutHuffmanTablesUseTheStandardOnes) {
    const auto jpeg = encodeQuadrants(32, 16);
    const auto stripped = withoutHuffmanTables(jpeg);
    ASSERT_LT(stripped.size(), jpeg.size());
    RGBFrame complete, camera;
    std::string error;
    ASSERT_TRUE(platform::v4l2::mjpegToRGB(jpeg.data(), jpeg.size(), complete));
    ASSERT_TRUE(platform::v4l2::mjpegToRGB(stripped.data(), stripped.size(), camera, &error)) << error;
    EXPECT_EQ(camera.rgb, complete.rgb);
}

TEST(MjpegConversion, CorruptFramesAreRefusedWithAReason) {
    auto jpeg = encodeQuadrants(16, 16);
    RGBFrame frame;
    std::string error;
    const std::vector<std::uint8_t> garbage(200, 0x5A);
    EXPECT_FALSE(platform::v4l2::mjpegToRGB(garbage.data(), garbage.size(), frame, &error));
    EXPECT_FALSE(error.empty());
    jpeg.resize(jpeg.size() / 3);  // truncated mid-scan: libjpeg pads, but must not crash
    platform::v4l2::mjpegToRGB(jpeg.data(), jpeg.size(), frame, &error);
    EXPECT_FALSE(platform::v4l2::mjpegToRGB(nullptr, 0, frame, &error));
}

TEST(V4L2Nodes, OnlyVideoCaptureNodesCountAsCameras) {
    char pattern[] = "/tmp/tarnwick-dev-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string dev = pattern;
    // Nodes that are no V4L2 devices at all are left out.
    ASSERT_TRUE(platform::FileManager::writeAtomically(dev + "/video0", platform::Data{'x'}));
    ASSERT_TRUE(platform::FileManager::writeAtomically(dev + "/videoX", platform::Data{'x'}));
    // A character device of another kind, and a FIFO, which must not block the scan.
    ASSERT_EQ(::symlink("/dev/null", (dev + "/video1").c_str()), 0);
    ASSERT_EQ(::mkfifo((dev + "/video2").c_str(), 0600), 0);
    EXPECT_TRUE(platform::v4l2::scanCaptureNodes(dev).empty());
    platform::FileManager::removeItem(dev);
    // This machine's own nodes, if any, are capture nodes with an identifier.
    for (const auto& node : platform::v4l2::scanCaptureNodes()) {
        EXPECT_FALSE(node.uniqueID.empty()) << node.path;
        EXPECT_EQ(node.path.rfind("/dev/video", 0), 0u);
    }
}

TEST(V4L2Nodes, AMissingCameraFailsFastWithAReason) {
    platform::v4l2::V4L2Camera camera("usb-Gone_Camera-video-index0", "Gone Camera", "/dev/video-none");
    std::string error;
    EXPECT_FALSE(camera.open(&error));
    EXPECT_NE(error.find("Gone Camera"), std::string::npos);
    EXPECT_FALSE(camera.isOpen());
    EXPECT_FALSE(camera.isConnected());
    EXPECT_FALSE(camera.isInUseByAnotherApplication());
    EXPECT_FALSE(camera.beginStreaming(&error));
    EXPECT_EQ(camera.waitForFrames(0.01).status, platform::CaptureFrames::Status::Failed);
    camera.close();
}

}  // namespace
