#include "CCGeometry.h"

#include <algorithm>

namespace cocos2d {

const Vec2 Vec2::ZERO(0, 0);
const Vec2 Vec2::ANCHOR_MIDDLE(0.5f, 0.5f);
const Size Size::ZERO(0, 0);
const Rect Rect::ZERO(0, 0, 0, 0);
const Color3B Color3B::WHITE(255, 255, 255);
const Color3B Color3B::BLACK(0, 0, 0);
const Color3B Color3B::RED(255, 0, 0);
const Color3B Color3B::GREEN(0, 255, 0);
const Color3B Color3B::BLUE(0, 0, 255);
const Color3B Color3B::YELLOW(255, 255, 0);
const Color3B Color3B::GRAY(166, 166, 166);
const Color4B Color4B::WHITE(255, 255, 255, 255);
const Color4B Color4B::BLACK(0, 0, 0, 255);
const Color4B Color4B::RED(255, 0, 0, 255);
const Color4B Color4B::GREEN(0, 255, 0, 255);
const Color4B Color4B::BLUE(0, 0, 255, 255);
const Mat4 Mat4::IDENTITY;

Mat4 Mat4::operator*(const Mat4& o) const {
    Mat4 r;
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += m[k * 4 + row] * o.m[c * 4 + k];
            r.m[c * 4 + row] = s;
        }
    }
    return r;
}

Mat4 Mat4::getInversed() const {
    Mat4 r;
    const float a = m[0], b = m[1], c = m[4], d = m[5], tx = m[12], ty = m[13];
    const float det = a * d - b * c;
    if (det == 0) return r;  // degenerate (scale 0): nothing sensible to map back to
    const float inv = 1.f / det;
    r.m[0] = d * inv;
    r.m[1] = -b * inv;
    r.m[4] = -c * inv;
    r.m[5] = a * inv;
    r.m[12] = (c * ty - d * tx) * inv;
    r.m[13] = (b * tx - a * ty) * inv;
    return r;
}

bool Mat4::operator==(const Mat4& o) const { return std::equal(m, m + 16, o.m); }

Rect RectApplyTransform(const Rect& rect, const Mat4& t) {
    const Vec2 p[4] = {t.transformPoint(Vec2(rect.getMinX(), rect.getMinY())),
                       t.transformPoint(Vec2(rect.getMaxX(), rect.getMinY())),
                       t.transformPoint(Vec2(rect.getMinX(), rect.getMaxY())),
                       t.transformPoint(Vec2(rect.getMaxX(), rect.getMaxY()))};
    float minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y;
    for (const Vec2& q : p) {
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y);
        maxY = std::max(maxY, q.y);
    }
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

}  // namespace cocos2d
