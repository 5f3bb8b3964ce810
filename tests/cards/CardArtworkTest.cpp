#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CardSprite.h"
#include "DeviceManager.h"
#include "SceneDriver.h"

using namespace cocos2d;

namespace {

class CardArtwork : public ::testing::Test {
protected:
    void SetUp() override { scenetest::useOffscreenView(); }
    void TearDown() override { scenetest::resetEngine(); }
};

// Every picture the product ships.
std::vector<std::string> shippedImages() {
    std::vector<std::string> files;
    const std::filesystem::path res =
        std::filesystem::path(FileUtils::getInstance()->fullPathForFilename("res/r_led1.png")).parent_path();
    for (const auto& e : std::filesystem::directory_iterator(res))
        if (e.path().extension() == ".png") files.push_back("res/" + e.path().filename().string());
    return files;
}

// Odd pixel sizes would put half-pixel edges on screen at the 2x content scale.
TEST_F(CardArtwork, EveryShippedImageLoadsWithEvenPixelSizes) {
    const std::vector<std::string> files = shippedImages();
    ASSERT_GT(files.size(), 20u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(FileUtils::getInstance()->fullPathForFilename(file).empty());
        CardSprite* sprite = CardSprite::create(file);
        ASSERT_NE(sprite, nullptr);
        const Texture2D* texture = sprite->getTexture();
        ASSERT_NE(texture, nullptr);
        EXPECT_GT(texture->getPixelsWide(), 0);
        EXPECT_GT(texture->getPixelsHigh(), 0);
        EXPECT_EQ(texture->getPixelsWide() % 2, 0);
        EXPECT_EQ(texture->getPixelsHigh() % 2, 0);
        EXPECT_EQ(sprite->getContentSize(),
                  Size(texture->getPixelsWide() / 2.0f, texture->getPixelsHigh() / 2.0f));
    }
}

// The row numbers are cut from this strip in 11-point cells, "0" first.
TEST_F(CardArtwork, DigitStripIsTenCellsOf22Pixels) {
    CardSprite* strip = CardSprite::create("res/r_field_num.png");
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->getTexture()->getPixelsWide(), 10 * 22);
    EXPECT_EQ(strip->getTexture()->getPixelsHigh(), 22);
}

}  // namespace
