#include <gtest/gtest.h>

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

// Every image the product names: the catalogue's own and those of the screen.
std::vector<std::string> namedImages() {
    std::vector<std::string> files(kCardImages.begin(), kCardImages.end());
    files.insert(files.end(), kTargetImages.begin(), kTargetImages.end());
    for (const char* f :
         {"res/r_play.png", "res/r_loading.png", "res/r_card_clean.png", "res/r_field.png",
          "res/r_field_no.png", "res/r_field_num.png", "res/menuup.png", "res/menudown.png",
          "res/r_reload.png", "res/r_setting.png", "res/r_setting_back.png", "res/delete1.png",
          "res/delete2.png", "res/delete3.png", "res/delete4.png"})
        files.push_back(f);
    return files;
}

// Odd pixel sizes would put half-pixel edges on screen at the 2x content scale.
TEST_F(CardArtwork, EveryNamedImageLoadsWithEvenPixelSizes) {
    for (const std::string& file : namedImages()) {
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
