#pragma once

#include "platform/foundation/Value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// An image: either a named resource picture, or pixels (8-bit RGB, rows top
// to bottom) such as a camera frame. A template image is a monochrome icon
// that the platform tints.
class Image : public Object {
public:
    // The resource picture `name` (with or without ".png") of the main
    // bundle, or one of the platform's own icons; none when unknown.
    static std::shared_ptr<Image> named(const std::string& name);
    static std::shared_ptr<Image> fromRGB(int width, int height, std::vector<std::uint8_t> rgb);
    static std::shared_ptr<Image> fromFile(const std::string& path);

    const std::string& name() const { return name_; }
    void setName(const std::string& name) { name_ = name; }
    const std::string& filePath() const { return filePath_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void setSize(int width, int height);
    const std::vector<std::uint8_t>& rgb() const { return rgb_; }
    bool isTemplate() const { return template_; }
    void setTemplate(bool isTemplate) { template_ = isTemplate; }

    // Uncompressed RGB TIFF of the pixels; empty for an image without pixels.
    Data tiffRepresentation() const;
    std::string description() const override;

private:
    std::string name_;
    std::string filePath_;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> rgb_;
    bool template_ = false;
};

using ImageRef = std::shared_ptr<Image>;

}  // namespace platform
