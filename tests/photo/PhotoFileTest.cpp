#include "PhotoTestSupport.h"

#include "platform/foundation/FileManager.h"

#include <tiffio.h>

using namespace phototest;

namespace {

struct TiffContents {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgb;
};

// Reads an RGB TIFF back with libtiff; empty when the file is no such TIFF.
TiffContents readTiff(const std::string& path) {
    TiffContents contents;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return contents;
    std::uint16_t samples = 0;
    std::uint16_t bits = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &contents.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &contents.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    if (samples == 3 && bits == 8 && TIFFScanlineSize(tif) == static_cast<tmsize_t>(contents.width) * 3) {
        contents.rgb.resize(static_cast<std::size_t>(contents.width) * contents.height * 3);
        for (std::uint32_t row = 0; row < contents.height; ++row)
            if (TIFFReadScanline(tif, &contents.rgb[static_cast<std::size_t>(row) * contents.width * 3], row) < 0) {
                contents.rgb.clear();
                break;
            }
    }
    TIFFClose(tif);
    return contents;
}

class PhotoFiles : public PhotographerTest {
protected:
    PhotoFiles() {
        setFlag(kPrefSaveImagesImmediately, true);
        platform::FileManager::createDirectory(photoFolder());
    }
    std::string photoFolder() const { return env.home() + "/photos"; }
};

TEST_F(PhotoFiles, PhotoIsNamedAfterTheEventAndSavedAsTiffOfTheFrame) {
    const auto timestamp = platform::Date::fromLocalComponents(2010, 1, 2, 3, 4, 5, 678);
    EXPECT_EQ(Photographer::photoFileName(platform::Value(timestamp)), "20100102030405678.tiff");

    camera->setFrameSize(40, 30);
    PhotoConsumer consumer;
    createAndSetUp();
    postEvent(kWrongPasswordEvent, timestamp);
    ASSERT_TRUE(waitFor([&] { return consumer.count() == 1; }));

    const std::string path = photoFolder() + "/20100102030405678.tiff";
    ASSERT_TRUE(platform::FileManager::fileExists(path));
    const TiffContents tiff = readTiff(path);
    EXPECT_EQ(tiff.width, 40u);
    EXPECT_EQ(tiff.height, 30u);
    EXPECT_EQ(tiff.rgb, platform::headless::HeadlessCamera::framePixels(40, 30));
    const auto image = consumer.received().front()->userInfoValue("image").objectAs<platform::Image>();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name(), "20100102030405678.tiff");
    EXPECT_EQ(platform::FileManager::contentsOfDirectory(photoFolder()).size(), 1u);  // no temporary left over
}

TEST_F(PhotoFiles, NothingIsWrittenWhenPhotosAreNotSavedImmediately) {
    setFlag(kPrefSaveImagesImmediately, false);
    PhotoConsumer consumer;
    createAndSetUp();
    postEvent();
    ASSERT_TRUE(waitFor([&] { return consumer.count() == 1; }));
    EXPECT_TRUE(platform::FileManager::contentsOfDirectory(photoFolder()).empty());
}

TEST_F(PhotoFiles, AnUnusablePhotoFolderIsLoggedOncePerPhotoAndThePhotoStillArrives) {
    const std::string notAFolder = env.home() + "/plain-file";
    ASSERT_TRUE(platform::FileManager::writeAtomically(notAFolder, platform::Data{'x'}));
    for (const std::string& folder : {env.home() + "/does/not/exist", notAFolder}) {
        SCOPED_TRACE(folder);
        platform::Defaults::standard().setObject(platform::Value(folder), kPrefSaveImagesPath);
        env.clearLog();
        PhotoConsumer consumer;
        createAndSetUp();
        postEvent();
        ASSERT_TRUE(waitFor([&] { return consumer.count() == 1; }));
        const auto failures = env.logLinesContaining("Cannot save photo " + folder + "/");
        EXPECT_EQ(failures.size(), 1u);
        EXPECT_TRUE(consumer.received().front()->userInfoValue("image").objectAs<platform::Image>());
        photographer.reset();
    }
}

}  // namespace
