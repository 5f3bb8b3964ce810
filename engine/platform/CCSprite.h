#pragma once
// A textured rectangle. Its size is the image's pixel size divided by the content scale
// factor; its anchor is its centre.
#include <string>

#include "CCNode.h"

namespace cocos2d {

class Texture2D;

class Sprite : public Node {
public:
    static Sprite* create();
    static Sprite* create(const std::string& filename);
    static Sprite* createWithTexture(Texture2D* texture);
    ~Sprite() override;

    bool init() override;
    virtual bool initWithFile(const std::string& filename);
    virtual bool initWithTexture(Texture2D* texture);
    virtual bool initWithTexture(Texture2D* texture, const Rect& rectInPoints);

    // Both also take the new texture's size. A file that cannot be loaded leaves the
    // sprite as it was.
    virtual void setTexture(const std::string& filename);
    virtual void setTexture(Texture2D* texture);
    Texture2D* getTexture() const { return _texture; }
    void setTextureRect(const Rect& rectInPoints);
    const Rect& getTextureRect() const { return _rect; }
    void setFlippedX(bool f) { _flippedX = f; }
    void setFlippedY(bool f) { _flippedY = f; }

    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

protected:
    Sprite() = default;
    Texture2D* _texture = nullptr;
    Rect _rect;
    bool _flippedX = false, _flippedY = false;
};

}  // namespace cocos2d
