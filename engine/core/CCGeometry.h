#pragma once
// Plain value types of the engine: points, sizes, rectangles, colours, 4x4 transforms.
#include <cmath>
#include <cstdint>

namespace cocos2d {

typedef uint8_t GLubyte;

struct Vec2 {
    float x = 0, y = 0;
    constexpr Vec2() = default;
    constexpr Vec2(float ax, float ay) : x(ax), y(ay) {}
    Vec2 operator+(const Vec2& o) const { return {x + o.x, y + o.y}; }
    Vec2 operator-(const Vec2& o) const { return {x - o.x, y - o.y}; }
    Vec2 operator-() const { return {-x, -y}; }
    Vec2 operator*(float s) const { return {x * s, y * s}; }
    Vec2 operator/(float s) const { return {x / s, y / s}; }
    Vec2& operator+=(const Vec2& o) { x += o.x; y += o.y; return *this; }
    Vec2& operator-=(const Vec2& o) { x -= o.x; y -= o.y; return *this; }
    Vec2& operator*=(float s) { x *= s; y *= s; return *this; }
    bool operator==(const Vec2& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Vec2& o) const { return !(*this == o); }
    float length() const { return std::sqrt(x * x + y * y); }
    float lengthSquared() const { return x * x + y * y; }
    float distance(const Vec2& o) const { return (*this - o).length(); }
    float dot(const Vec2& o) const { return x * o.x + y * o.y; }
    float cross(const Vec2& o) const { return x * o.y - y * o.x; }
    static const Vec2 ZERO;
    static const Vec2 ANCHOR_MIDDLE;
};
inline Vec2 operator*(float s, const Vec2& v) { return v * s; }

struct Vec3 {
    float x = 0, y = 0, z = 0;
    constexpr Vec3() = default;
    constexpr Vec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}
};

struct Size {
    float width = 0, height = 0;
    constexpr Size() = default;
    constexpr Size(float w, float h) : width(w), height(h) {}
    bool equals(const Size& o) const { return width == o.width && height == o.height; }
    bool operator==(const Size& o) const { return equals(o); }
    bool operator!=(const Size& o) const { return !equals(o); }
    Size operator*(float s) const { return {width * s, height * s}; }
    Size operator/(float s) const { return {width / s, height / s}; }
    static const Size ZERO;
};

struct Rect {
    Vec2 origin;
    Size size;
    constexpr Rect() = default;
    constexpr Rect(float x, float y, float w, float h) : origin(x, y), size(w, h) {}
    constexpr Rect(const Vec2& o, const Size& s) : origin(o), size(s) {}
    float getMinX() const { return origin.x; }
    float getMaxX() const { return origin.x + size.width; }
    float getMidX() const { return origin.x + size.width * 0.5f; }
    float getMinY() const { return origin.y; }
    float getMaxY() const { return origin.y + size.height; }
    float getMidY() const { return origin.y + size.height * 0.5f; }
    // Edges included, as the engine's hit tests have always been.
    bool containsPoint(const Vec2& p) const {
        return p.x >= getMinX() && p.x <= getMaxX() && p.y >= getMinY() && p.y <= getMaxY();
    }
    bool intersectsRect(const Rect& r) const {
        return !(getMaxX() < r.getMinX() || r.getMaxX() < getMinX() || getMaxY() < r.getMinY() ||
                 r.getMaxY() < getMinY());
    }
    bool equals(const Rect& r) const { return origin == r.origin && size == r.size; }
    bool operator==(const Rect& r) const { return equals(r); }
    static const Rect ZERO;
};

struct Color3B {
    GLubyte r = 255, g = 255, b = 255;
    constexpr Color3B() = default;
    constexpr Color3B(GLubyte ar, GLubyte ag, GLubyte ab) : r(ar), g(ag), b(ab) {}
    bool operator==(const Color3B& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Color3B& o) const { return !(*this == o); }
    static const Color3B WHITE, BLACK, RED, GREEN, BLUE, YELLOW, GRAY;
};

struct Color4B {
    GLubyte r = 0, g = 0, b = 0, a = 0;
    constexpr Color4B() = default;
    constexpr Color4B(GLubyte ar, GLubyte ag, GLubyte ab, GLubyte aa) : r(ar), g(ag), b(ab), a(aa) {}
    constexpr Color4B(const Color3B& c, GLubyte aa) : r(c.r), g(c.g), b(c.b), a(aa) {}
    bool operator==(const Color4B& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Color4B& o) const { return !(*this == o); }
    static const Color4B WHITE, BLACK, RED, GREEN, BLUE;
};

// Column-major 4x4 matrix, as in the engine's math library. Only the affine 2D part is
// ever non-trivial here, but the full shape keeps the familiar API.
struct Mat4 {
    float m[16];
    Mat4() { setIdentity(); }
    void setIdentity() {
        for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.f : 0.f;
    }
    Mat4 operator*(const Mat4& o) const;
    Vec2 transformPoint(const Vec2& p) const {
        return {m[0] * p.x + m[4] * p.y + m[12], m[1] * p.x + m[5] * p.y + m[13]};
    }
    Vec3 transformPoint(const Vec3& p) const {
        return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
                m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
                m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
    }
    // Inverse of the 2D affine part (rotation, scale, translation in x/y).
    Mat4 getInversed() const;
    bool operator==(const Mat4& o) const;
    static const Mat4 IDENTITY;
};

Rect RectApplyTransform(const Rect& rect, const Mat4& transform);

#define CC_DEGREES_TO_RADIANS(__ANGLE__) ((__ANGLE__)*0.01745329252f)
#define CC_RADIANS_TO_DEGREES(__ANGLE__) ((__ANGLE__)*57.29577951f)

}  // namespace cocos2d
