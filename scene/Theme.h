#pragma once
// The screen's look in one place: colours, the font, the design size and the layout
// measures more than one file needs.
#include "cocos2d.h"

namespace theme {

// The design area every position on the screen is given in (points, origin lower left).
constexpr float kDesignWidth = 1024;
constexpr float kDesignHeight = 768;

// Every text is drawn with this font (the system's stand-in is chosen by fontconfig).
constexpr const char* kFont = "Futura-Medium";

const cocos2d::Color4B kWhite(255, 255, 255, 255);
const cocos2d::Color4B kGreen(39, 172, 56, 255);
const cocos2d::Color4B kDarkText(30, 30, 30, 255);
const cocos2d::Color4B kLightText(230, 230, 230, 255);
const cocos2d::Color4B kGreyText(140, 140, 140, 255);
const cocos2d::Color4B kErrorText(200, 30, 30, 255);
// The grey that covers the screen behind a modal panel.
const cocos2d::Color4B kPanelShade(127, 127, 127, 127);

// A card on the field that is in no slot (so not part of the program) is tilted by this many
// degrees and dimmed to this grey.
constexpr float kLooseTilt = -7;
const cocos2d::Color3B kLooseCard(165, 165, 165);

// A pressed button dims to this opacity until the finger leaves it.
constexpr uint8_t kPressedOpacity = 192;

// The drawer at the screen's foot: its bar's height, the part of it that shows while it is
// shut, and the middles of its two rows (the port and the language above; open, save, full
// screen and clear below, over the small print).
constexpr float kDrawerHeight = 120;
constexpr float kDrawerPeek = 5;
constexpr float kDrawerUpperRow = 88;
constexpr float kDrawerLowerRow = 40;

// The palette's width, and the board panel's that covers it.
constexpr float kPaletteWidth = 250;

}  // namespace theme
