#include "platform/ui/Image.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"

#include <cstdio>
#include <cstring>
#include <tiffio.h>
#include <unistd.h>

namespace platform {

std::shared_ptr<Image> Image::named(const std::string& name) {
    if (name.empty()) return nullptr;
    const Bundle& bundle = Bundle::main();
    std::string path = bundle.pathForResource(name);
    if (path.empty()) path = bundle.pathForResource(name + ".png");
    // The platform's own template icons are known by name even without a file.
    const bool platformIcon = name.rfind("NS", 0) == 0;
    if (path.empty() && !platformIcon) return nullptr;
    auto image = std::make_shared<Image>();
    image->name_ = name;
    image->filePath_ = path;
    return image;
}

std::shared_ptr<Image> Image::fromRGB(int width, int height, std::vector<std::uint8_t> rgb) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<std::size_t>(width) * height * 3) return nullptr;
    auto image = std::make_shared<Image>();
    image->width_ = width;
    image->height_ = height;
    image->rgb_ = std::move(rgb);
    return image;
}

std::shared_ptr<Image> Image::fromFile(const std::string& path) {
    if (!FileManager::fileExists(path)) return nullptr;
    auto image = std::make_shared<Image>();
    image->filePath_ = path;
    image->name_ = paths::lastComponent(path);
    return image;
}

void Image::setSize(int width, int height) {
    if (!rgb_.empty()) return;  // pixels keep their own size
    width_ = width;
    height_ = height;
}

Data Image::tiffRepresentation() const {
    if (rgb_.empty()) return {};
    // libtiff writes through a file; a private temporary one is read back.
    char path[] = "/tmp/tarnwick-tiff-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return {};
    ::close(fd);
    Data result;
    if (TIFF* tif = TIFFOpen(path, "w")) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width_));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height_));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height_));
        bool ok = true;
        for (int row = 0; row < height_ && ok; ++row) {
            auto* line = const_cast<std::uint8_t*>(rgb_.data() + static_cast<std::size_t>(row) * width_ * 3);
            ok = TIFFWriteScanline(tif, line, static_cast<std::uint32_t>(row), 0) >= 0;
        }
        TIFFClose(tif);
        if (ok) result = FileManager::readFile(path).value_or(Data{});
    }
    ::unlink(path);
    return result;
}

std::string Image::description() const {
    return "<Image name=" + name_ + " " + std::to_string(width_) + "x" + std::to_string(height_) + ">";
}

}  // namespace platform
