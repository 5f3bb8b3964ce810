#include "CCLabel.h"

#include <SDL.h>
#include <SDL_ttf.h>
#ifdef _WIN32
#include <windows.h>
#elif !defined(__EMSCRIPTEN__)
#include <fontconfig/fontconfig.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
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

// Windows has no fontconfig: Futura where installed, else the faces shipped in "fonts" beside
// the program (the Futura-like face the Linux build falls back to, else DejaVu Sans); then the
// system's faces for the scripts Futura lacks, then anything else shipped there.
std::vector<std::string> windowsFaces(const std::string& fontName, const std::string& language) {
    std::vector<std::string> faces;
    if (fontName.rfind("Futura", 0) == 0) faces.push_back(findInstalledFutura());
    FileUtils* fu = FileUtils::getInstance();
    const std::string dir = FileUtils::executableDirectory() + "/fonts/";
    for (const char* shipped : {"BetecknaGS.ttf", "DejaVuSans.ttf"})
        if (fu->isFileExist(dir + shipped)) faces.push_back(dir + shipped);
    wchar_t windows[MAX_PATH];
    const UINT len = GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string system = len > 0 && len < MAX_PATH ? FileUtils::narrow(windows) + "\\Fonts\\" : "";
    std::vector<const char*> names;
    if (language == "ja") names = {"YuGothM.ttc", "YuGothR.ttc", "meiryo.ttc", "msgothic.ttc"};
    else if (language == "ko") names = {"malgun.ttf", "gulim.ttc"};
    else if (language.rfind("zh", 0) == 0) names = {"msyh.ttc", "msyh.ttf", "simhei.ttf", "simsun.ttc"};
    for (const char* name : names)
        if (!system.empty() && fu->isFileExist(system + name)) faces.push_back(system + name);
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(FileUtils::widen(dir + "*.?tf").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do faces.push_back(dir + FileUtils::narrow(found.cFileName));
        while (FindNextFileW(h, &found));
        FindClose(h);
    }
    return faces;
}

#elif defined(__EMSCRIPTEN__)

// A page has no system fonts to ask for: the faces it ships in /fonts, the Futura-like one first.
std::vector<std::string> webFaces() {
    std::vector<std::string> faces;
    FileUtils* fu = FileUtils::getInstance();
    for (const char* shipped : {"/fonts/BetecknaGS.ttf", "/fonts/DejaVuSans.ttf"})
        if (fu->isFileExist(shipped)) faces.push_back(shipped);
    return faces;
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

// The design's face first; then a Futura-like face; then a plain one; then what the system
// has for the language.
std::vector<std::string> linuxFaces(const std::string& fontName, const std::string& language) {
    std::vector<std::string> faces;
    if (!FcInit()) return faces;
    if (fontName.rfind("Futura", 0) == 0) {
        faces.push_back(matchFamily("Futura:medium", "Futura"));
        faces.push_back(matchFamily("BetecknaGS", "BetecknaGS"));
        faces.push_back(matchFamily("DejaVu Sans", "DejaVu Sans"));
    }
    faces.push_back(matchFamily(fontName.c_str(), nullptr));
    if (!language.empty()) {
        std::string tag = language;
        for (char& c : tag) c = c == '_' ? '-' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
        faces.push_back(matchFamily(("sans-serif:lang=" + tag).c_str(), nullptr));
    }
    return faces;
}

#endif

std::u32string decodeUtf8(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + extra >= s.size() + (extra == 0)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d >> 6) != 2) ok = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        out.push_back(ok ? cp : 0xFFFD);
        i += ok ? extra + 1 : 1;
    }
    return out;
}

std::string encodeUtf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool needsGlyph(char32_t c) { return c > ' ' && c != 0x7F && c != 0xFFFD; }

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

bool initFonts() {
    if (TTF_WasInit() || TTF_Init() == 0) return true;
    static bool told = false;
    if (!told) std::fprintf(stderr, "cocos2d: fonts unavailable: %s\n", TTF_GetError());
    told = true;
    return false;
}

// A face of `file` at `pixelSize`, opened for the process's life. Never destroyed: a map torn
// down at exit would leave its fonts unreachable, and the leak check would take them for leaks.
TTF_Font* openFontFile(const std::string& file, int pixelSize) {
    static auto& fonts = *new std::map<std::pair<std::string, int>, TTF_Font*>;
    const auto key = std::make_pair(file, pixelSize);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    if (file.empty() || !initFonts()) return fonts[key] = nullptr;
    const FontBytes bytes = fontBytes(file);
    return fonts[key] = bytes.data ? TTF_OpenFontRW(SDL_RWFromConstMem(bytes.data, static_cast<int>(bytes.size)), 1, pixelSize)
                                   : nullptr;
}

// How many of `chars` the face in `file` has no glyph for (all of them when it cannot be read).
size_t glyphsMissing(const std::string& file, const std::u32string& chars) {
    TTF_Font* f = openFontFile(file, 16);
    size_t missing = 0;
    for (char32_t c : chars)
        if (needsGlyph(c) && (!f || !TTF_GlyphIsProvided32(f, c))) ++missing;
    return missing;
}

std::string resolveFor(const std::string& fontName, const std::string& language);

TTF_Font* openFont(const std::string& name, int pixelSize, const std::string& language) {
    const std::string file = resolveFor(name, language);
    static auto& told = *new std::map<std::string, bool>;
    TTF_Font* f = openFontFile(file, pixelSize);
    if (!f && !told[name]) std::fprintf(stderr, "cocos2d: font \"%s\" could not be opened\n", name.c_str());
    told[name] = !f;
    return f;
}

struct TextLanguage {
    std::string code;  // the default
    std::map<std::string, std::u32string> characters;  // each once, by language
    std::map<std::pair<std::string, std::string>, std::string> resolved;  // (font, language): file
    unsigned generation = 0;
};
TextLanguage& textLanguage() {
    static auto& language = *new TextLanguage;
    return language;
}

}  // namespace

namespace {
std::mutex s_fontMutex;
std::future<void> s_fontPreload;
}  // namespace

void Label::preloadSystemFont(const std::string& fontName) {
#ifdef TAVRICK_NO_THREADS
    (void)fontName;  // the first label looks the font up itself
    return;
#endif
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

namespace {
std::string resolveFor(const std::string& fontName, const std::string& wanted) {
    // One lookup at a time: a preload still running is waited for, then its answer is cached.
    // The glyph checks open fonts here, so nothing else calls the font library meanwhile:
    // openFont resolves before it opens anything.
    std::lock_guard<std::mutex> lock(s_fontMutex);
    TextLanguage& languages = textLanguage();
    auto& cache = languages.resolved;
    const std::string& code = wanted.empty() ? languages.code : wanted;
    const auto key = std::make_pair(fontName, code);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
#ifdef _WIN32
    const std::vector<std::string> faces = windowsFaces(fontName, code);
#elif defined(__EMSCRIPTEN__)
    const std::vector<std::string> faces = webFaces();
#else
    const std::vector<std::string> faces = linuxFaces(fontName, code);
#endif
    auto chars = languages.characters.find(code);
    // The first face that draws every character; failing that, the one that misses fewest.
    std::string file;
    size_t fewest = SIZE_MAX;
    for (const std::string& face : faces) {
        if (face.empty()) continue;
        const size_t missing = chars == languages.characters.end() ? 0 : glyphsMissing(face, chars->second);
        if (missing < fewest) {
            file = face;
            fewest = missing;
        }
        if (missing == 0) break;
    }
    return cache[key] = file;
}
}  // namespace

std::string Label::resolveFontFile(const std::string& fontName) { return resolveFor(fontName, ""); }

void Label::setLanguageCharacters(const std::string& code, const std::string& characters) {
    if (s_fontPreload.valid()) s_fontPreload.wait();
    std::lock_guard<std::mutex> lock(s_fontMutex);
    std::u32string chars = decodeUtf8(characters);
    std::sort(chars.begin(), chars.end());
    chars.erase(std::unique(chars.begin(), chars.end()), chars.end());
    TextLanguage& languages = textLanguage();
    if (languages.characters[code] == chars) return;
    languages.characters[code] = std::move(chars);
    languages.resolved.clear();
    ++languages.generation;
}

void Label::setTextLanguage(const std::string& code) {
    if (s_fontPreload.valid()) s_fontPreload.wait();
    std::lock_guard<std::mutex> lock(s_fontMutex);
    TextLanguage& languages = textLanguage();
    if (languages.code == code) return;
    languages.code = code;
    ++languages.generation;
}

std::string Label::getTextLanguage() {
    std::lock_guard<std::mutex> lock(s_fontMutex);
    return textLanguage().code;
}

void Label::setLanguage(const std::string& language) {
    if (language == _language) return;
    _language = language;
    updateTexture();
}

std::string Label::missingGlyphs(const std::string& fontName, const std::string& text,
                                 const std::string& language) {
    const std::string file = resolveFor(fontName, language);
    TTF_Font* f = openFontFile(file, 16);
    std::string missing;
    for (char32_t c : decodeUtf8(text))
        if (needsGlyph(c) && (!f || !TTF_GlyphIsProvided32(f, c))) missing += encodeUtf8(c);
    return missing;
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
    if (text == _text && _fontGeneration == textLanguage().generation) return;
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
    _fontGeneration = textLanguage().generation;
    const float csf = Director::getInstance()->getContentScaleFactor();
    const int px = std::max(1, static_cast<int>(std::lround(_fontSize * csf)));
    TTF_Font* font = openFont(_fontName, px, _language);
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
