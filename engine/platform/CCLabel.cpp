#include "CCLabel.h"

#include <SDL.h>
#include <SDL_ttf.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fontconfig/fontconfig.h>
#endif

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <future>
#include <mutex>
#include <system_error>
#include <map>
#include <vector>
#ifndef _WIN32
#include <strings.h>
#endif

#include "CCDirector.h"
#include "CCFileUtils.h"
#include "CCRenderer.h"
#include "CCTexture.h"

namespace cocos2d {

namespace {

#ifdef _WIN32

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

// How well an installed face named `name` (as the Fonts registry lists it, e.g. "Futura Md BT
// Medium (TrueType)") stands for Futura Medium: 0 for no Futura; the upright medium weight best.
int futuraScore(const std::wstring& name, const std::wstring& file) {
    const std::wstring n = lower(name), f = lower(file);
    if (n.rfind(L"futura", 0) != 0) return 0;
    const size_t dot = f.rfind(L'.');
    const std::wstring ext = dot == std::wstring::npos ? L"" : f.substr(dot);
    if (ext != L".ttf" && ext != L".otf" && ext != L".ttc") return 0;  // bitmap .fon: no
    int score = 10;
    if (n.find(L"medium") != std::wstring::npos || n.find(L" md") != std::wstring::npos) score += 5;
    for (const wchar_t* off : {L"bold", L"italic", L"oblique", L"light", L"condensed", L"heavy",
                               L"black", L"extra", L"cond"})
        if (n.find(off) != std::wstring::npos) score -= 4;
    return score;
}

// A Futura face among the installed fonts: the machine's (registry names files in the Fonts
// folder of the Windows directory) and the user's own (registry names full paths).
std::string findInstalledFutura() {
    wchar_t windows[MAX_PATH];
    const UINT len = GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring fontsDir = len > 0 && len < MAX_PATH ? std::wstring(windows) + L"\\Fonts\\" : L"";
    std::wstring best;
    int bestScore = 0;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key;
        if (RegOpenKeyExW(root, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", 0,
                          KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; ++i) {
            wchar_t name[512], data[MAX_PATH];
            DWORD nameLen = 512, dataBytes = sizeof data, type = 0;
            const LONG r = RegEnumValueW(key, i, name, &nameLen, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data), &dataBytes);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
            std::wstring file(data, dataBytes / sizeof(wchar_t));
            file.resize(wcsnlen(file.c_str(), file.size()));
            const int score = futuraScore(name, file);
            if (score <= bestScore) continue;
            const bool absolute = file.size() > 2 && (file[1] == L':' || file[0] == L'\\');
            const std::wstring path = absolute ? file : fontsDir + file;
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
            best = path;
            bestScore = score;
        }
        RegCloseKey(key);
    }
    // A font file copied into the folder without being installed has no registry entry.
    if (best.empty() && !fontsDir.empty()) {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((fontsDir + L"futura*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring file = found.cFileName;
                const int score = futuraScore(file.substr(0, file.rfind(L'.')), file);
                if (score > bestScore) {
                    best = fontsDir + file;
                    bestScore = score;
                }
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
    }
    return FileUtils::narrow(best);
}

// Windows has no fontconfig: Futura where installed, else the face shipped in "fonts" beside
// the program (the Futura-like face the Linux build falls back to, else DejaVu Sans).
std::string resolveWindowsFont(const std::string& fontName) {
    std::string file;
    if (fontName.rfind("Futura", 0) == 0) file = findInstalledFutura();
    if (!file.empty()) return file;
    const std::string dir = FileUtils::executableDirectory() + "/fonts/";
    for (const char* shipped : {"BetecknaGS.ttf", "DejaVuSans.ttf"})
        if (FileUtils::getInstance()->isFileExist(dir + shipped)) return dir + shipped;
    return std::string();
}

#else

std::string matchFamily(const char* pattern, const char* wantFamily) {
    std::string file;
    FcPattern* p = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    if (!p) return file;
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result;
    FcPattern* m = FcFontMatch(nullptr, p, &result);
    if (m) {
        FcChar8* family = nullptr;
        FcChar8* path = nullptr;
        if (FcPatternGetString(m, FC_FILE, 0, &path) == FcResultMatch &&
            (!wantFamily || (FcPatternGetString(m, FC_FAMILY, 0, &family) == FcResultMatch &&
                             strcasecmp(reinterpret_cast<const char*>(family), wantFamily) == 0))) {
            file = reinterpret_cast<const char*>(path);
        }
        FcPatternDestroy(m);
    }
    FcPatternDestroy(p);
    return file;
}

#endif

struct FontBytes {
    const void* data = nullptr;
    size_t size = 0;
};

// The font file, read whole once and kept: FreeType then reads glyphs from memory instead of
// seeking and reading the file for each one (most of the first labels' cost), and every size
// of a face shares the one copy.
FontBytes fontBytes(const std::string& file) {
    static std::mutex mutex;
    static auto& files = *new std::map<std::string, FontBytes>;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = files.find(file);
    if (it != files.end()) return it->second;
    FontBytes bytes;
    size_t size = 0;
    if (void* data = SDL_LoadFile(file.c_str(), &size)) {
        if (size > 0 && size <= static_cast<size_t>(INT32_MAX)) {
            bytes.data = data;
            bytes.size = size;
        } else {
            SDL_free(data);
        }
    }
    return files[file] = bytes;
}

TTF_Font* openFont(const std::string& name, int pixelSize) {
    // Open for the process's life. Never destroyed: a map torn down at exit would leave
    // its fonts unreachable, and the leak check would take them for leaks.
    static auto& fonts = *new std::map<std::pair<std::string, int>, TTF_Font*>;
    const auto key = std::make_pair(name, pixelSize);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    if (!TTF_WasInit() && TTF_Init() != 0) {
        std::fprintf(stderr, "cocos2d: fonts unavailable: %s\n", TTF_GetError());
        return fonts[key] = nullptr;
    }
    const std::string file = Label::resolveFontFile(name);
    const FontBytes bytes = file.empty() ? FontBytes{} : fontBytes(file);
    TTF_Font* f = bytes.data ? TTF_OpenFontRW(SDL_RWFromConstMem(bytes.data, static_cast<int>(bytes.size)), 1, pixelSize)
                             : nullptr;
    if (!f) std::fprintf(stderr, "cocos2d: font \"%s\" could not be opened\n", name.c_str());
    return fonts[key] = f;
}

}  // namespace

namespace {
std::mutex s_fontMutex;
std::future<void> s_fontPreload;
}  // namespace

void Label::preloadSystemFont(const std::string& fontName) {
    if (s_fontPreload.valid()) return;
    try {
        s_fontPreload = std::async(std::launch::async, [fontName] {
            const std::string file = resolveFontFile(fontName);
            if (!file.empty()) fontBytes(file);
            SDL_TLSCleanup();
        });
    } catch (const std::system_error&) {
        // No thread: the first label looks the font up itself.
    }
}

std::string Label::resolveFontFile(const std::string& fontName) {
    // One lookup at a time: a preload still running is waited for, then its answer is cached.
    std::lock_guard<std::mutex> lock(s_fontMutex);
    static std::map<std::string, std::string> cache;
    auto it = cache.find(fontName);
    if (it != cache.end()) return it->second;
    std::string file;
#ifdef _WIN32
    file = resolveWindowsFont(fontName);
#else
    if (FcInit()) {
        // The design's face first; then a Futura-like face; then a plain one.
        if (fontName.rfind("Futura", 0) == 0) {
            file = matchFamily("Futura:medium", "Futura");
            if (file.empty()) file = matchFamily("BetecknaGS", "BetecknaGS");
            if (file.empty()) file = matchFamily("DejaVu Sans", "DejaVu Sans");
        }
        if (file.empty()) file = matchFamily(fontName.c_str(), nullptr);
    }
#endif
    return cache[fontName] = file;
}

Label* Label::createWithSystemFont(const std::string& text, const std::string& font,
                                   float fontSize, const Size& dimensions, TextHAlignment h,
                                   TextVAlignment v) {
    auto* l = new Label;
    l->setAnchorPoint(Vec2(0.5f, 0.5f));
    l->_fontName = font;
    l->_fontSize = fontSize;
    l->_dimensions = dimensions;
    l->_hAlign = h;
    l->_vAlign = v;
    l->_text = text;
    l->updateTexture();
    l->autorelease();
    return l;
}

Label::~Label() { CC_SAFE_RELEASE(_texture); }

void Label::setString(const std::string& text) {
    if (text == _text) return;
    _text = text;
    updateTexture();
}

void Label::setSystemFontName(const std::string& font) {
    _fontName = font;
    updateTexture();
}

void Label::setSystemFontSize(float size) {
    _fontSize = size;
    updateTexture();
}

void Label::setDimensions(float width, float height) {
    _dimensions = Size(width, height);
    updateTexture();
}

void Label::setAlignment(TextHAlignment h, TextVAlignment v) {
    _hAlign = h;
    _vAlign = v;
}

void Label::updateTexture() {
    CC_SAFE_RELEASE_NULL(_texture);
    const float csf = Director::getInstance()->getContentScaleFactor();
    const int px = std::max(1, static_cast<int>(std::lround(_fontSize * csf)));
    TTF_Font* font = openFont(_fontName, px);
    _textSize = Size::ZERO;
    if (font) {
        const float lineHeight = TTF_FontHeight(font) / csf;
        if (!_text.empty()) {
            const Uint32 wrap =
                _dimensions.width > 0 ? static_cast<Uint32>(_dimensions.width * csf) : 0;
            SDL_Surface* s = TTF_RenderUTF8_Blended_Wrapped(font, _text.c_str(),
                                                            SDL_Color{255, 255, 255, 255}, wrap);
            if (s) {
                _texture = createTextureFromSurface(s, "");
                if (_texture) _textSize = _texture->getContentSize();
            }
        }
        if (_textSize.height <= 0) _textSize.height = lineHeight;
    }
    setContentSize(_dimensions.width > 0 && _dimensions.height > 0 ? _dimensions : _textSize);
}

void Label::draw(Renderer* renderer, const Mat4& t, uint32_t) {
    if (!_texture || _opacity == 0) return;
    const float w = _textSize.width, h = _textSize.height;
    float x = 0, y = 0;
    if (_dimensions.width > 0 && _dimensions.height > 0) {
        if (_hAlign == TextHAlignment::CENTER) x = (_contentSize.width - w) / 2;
        if (_hAlign == TextHAlignment::RIGHT) x = _contentSize.width - w;
        if (_vAlign == TextVAlignment::TOP) y = _contentSize.height - h;
        if (_vAlign == TextVAlignment::CENTER) y = (_contentSize.height - h) / 2;
    }
    const Vec2 p[4] = {t.transformPoint(Vec2(x, y + h)), t.transformPoint(Vec2(x + w, y + h)),
                       t.transformPoint(Vec2(x, y)), t.transformPoint(Vec2(x + w, y))};
    const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    const GLubyte r = static_cast<GLubyte>(_textColor.r * _color.r / 255);
    const GLubyte g = static_cast<GLubyte>(_textColor.g * _color.g / 255);
    const GLubyte b = static_cast<GLubyte>(_textColor.b * _color.b / 255);
    const GLubyte a = static_cast<GLubyte>(_textColor.a * _opacity / 255);
    RenderVertex q[4];
    for (int i = 0; i < 4; ++i) q[i] = {p[i].x, p[i].y, r, g, b, a, uv[i][0], uv[i][1]};
    renderer->addQuad(_texture, q);
}

// --- character map labels ----------------------------------------------------------

LabelAtlas* LabelAtlas::create(const std::string& text, const std::string& charMapFile,
                               int itemWidth, int itemHeight, int startCharMap) {
    Texture2D* tex = TextureCache::getInstance()->addImage(charMapFile);
    if (!tex || itemWidth <= 0 || itemHeight <= 0) return nullptr;
    auto* l = new LabelAtlas;
    tex->retain();
    l->_texture = tex;
    l->_itemWidth = itemWidth;
    l->_itemHeight = itemHeight;
    l->_startChar = startCharMap;
    l->setString(text);
    l->autorelease();
    return l;
}

LabelAtlas::~LabelAtlas() { CC_SAFE_RELEASE(_texture); }

void LabelAtlas::setString(const std::string& text) {
    _text = text;
    setContentSize(Size(static_cast<float>(_itemWidth * text.size()), static_cast<float>(_itemHeight)));
}

void LabelAtlas::draw(Renderer* renderer, const Mat4& t, uint32_t) {
    if (!_texture || _opacity == 0) return;
    const Size ts = _texture->getContentSize();
    const int columns = std::max(1, static_cast<int>(ts.width / _itemWidth));
    const int rows = std::max(1, static_cast<int>(ts.height / _itemHeight));
    const float h = static_cast<float>(_itemHeight);
    for (size_t i = 0; i < _text.size(); ++i) {
        const int index = static_cast<unsigned char>(_text[i]) - _startChar;
        if (index < 0 || index >= columns * rows) continue;  // no glyph: a blank cell
        const float u0 = (index % columns) * _itemWidth / ts.width;
        const float u1 = u0 + _itemWidth / ts.width;
        const float v0 = (index / columns) * _itemHeight / ts.height;
        const float v1 = v0 + _itemHeight / ts.height;
        const float x = static_cast<float>(i * _itemWidth), w = static_cast<float>(_itemWidth);
        const Vec2 p[4] = {t.transformPoint(Vec2(x, h)), t.transformPoint(Vec2(x + w, h)),
                           t.transformPoint(Vec2(x, 0)), t.transformPoint(Vec2(x + w, 0))};
        const float uv[4][2] = {{u0, v0}, {u1, v0}, {u0, v1}, {u1, v1}};
        RenderVertex q[4];
        for (int k = 0; k < 4; ++k)
            q[k] = {p[k].x, p[k].y, _color.r, _color.g, _color.b, _opacity, uv[k][0], uv[k][1]};
        renderer->addQuad(_texture, q);
    }
}

}  // namespace cocos2d
