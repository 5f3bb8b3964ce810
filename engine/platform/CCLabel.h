#pragma once
// Text in a system font, rasterised at font size x content scale factor so that it is
// sharp on dense screens; and labels drawn from a character-map image.
#include <string>

#include "CCNode.h"

namespace cocos2d {

class Texture2D;

enum class TextHAlignment { LEFT, CENTER, RIGHT };
enum class TextVAlignment { TOP, CENTER, BOTTOM };

class Label : public Node {
public:
    static Label* createWithSystemFont(const std::string& text, const std::string& font,
                                       float fontSize, const Size& dimensions = Size::ZERO,
                                       TextHAlignment hAlignment = TextHAlignment::LEFT,
                                       TextVAlignment vAlignment = TextVAlignment::TOP);
    ~Label() override;

    void setString(const std::string& text);
    const std::string& getString() const { return _text; }
    void setTextColor(const Color4B& color) { _textColor = color; }
    const Color4B& getTextColor() const { return _textColor; }
    void setSystemFontName(const std::string& font);
    const std::string& getSystemFontName() const { return _fontName; }
    void setSystemFontSize(float size);
    float getSystemFontSize() const { return _fontSize; }
    void setDimensions(float width, float height);
    void setAlignment(TextHAlignment h, TextVAlignment v);

    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

    // The font file that a font name resolves to for the current text language (fontconfig;
    // on Windows the Fonts folder, then the fonts shipped beside the program), for
    // diagnostics and tests.
    static std::string resolveFontFile(const std::string& fontName);
    // Every character (UTF-8) the texts in `language` ("ja", "pt_BR") may hold: a font name
    // resolves, for that language, to the first of its faces that has all of them, else to
    // the face that misses fewest (fontconfig's choice for the language among them).
    static void setLanguageCharacters(const std::string& language, const std::string& characters);
    // The language of every label that names none itself. Labels drawn afterwards, and every
    // label given its text again, use its face.
    static void setTextLanguage(const std::string& language);
    static std::string getTextLanguage();
    // This label's texts are in `language` ("" for the default): a language chooser shows each
    // language's name in that language's face.
    void setLanguage(const std::string& language);
    // The characters of `text` (UTF-8) that the face `fontName` resolves to for `language`
    // ("" for the default) has no glyph for, besides spaces; "" when it draws them all.
    static std::string missingGlyphs(const std::string& fontName, const std::string& text,
                                     const std::string& language = "");
    // Starts looking the font up on another thread (fontconfig reads its whole configuration
    // first), so that the first label finds it ready. Safe to call once, early.
    static void preloadSystemFont(const std::string& fontName);

protected:
    Label() = default;
    void updateTexture();

    std::string _text, _fontName;
    float _fontSize = 12;
    Size _dimensions;
    TextHAlignment _hAlign = TextHAlignment::LEFT;
    TextVAlignment _vAlign = TextVAlignment::TOP;
    Color4B _textColor{255, 255, 255, 255};
    Texture2D* _texture = nullptr;
    Size _textSize;  // the rasterised text, in points
    std::string _language;         // "" for the default text language
    unsigned _fontGeneration = 0;  // the text language it was drawn for
};

class LabelAtlas : public Node {
public:
    // itemWidth and itemHeight are the glyph cells in points; startCharMap is the code of
    // the map's first glyph.
    static LabelAtlas* create(const std::string& text, const std::string& charMapFile,
                              int itemWidth, int itemHeight, int startCharMap);
    ~LabelAtlas() override;
    void setString(const std::string& text);
    const std::string& getString() const { return _text; }
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

protected:
    LabelAtlas() = default;
    std::string _text;
    Texture2D* _texture = nullptr;
    int _itemWidth = 0, _itemHeight = 0, _startChar = 0;
};

}  // namespace cocos2d
