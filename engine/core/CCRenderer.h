#pragma once
// Nodes queue commands during visit; render() runs them in the order queued, so two
// CustomCommands can bracket the drawing of a node's children.
#include <functional>
#include <string>
#include <vector>

#include "CCGeometry.h"
#include "CCRef.h"

namespace cocos2d {

class Texture2D;

// Same layout as the platform's vertex record (position, RGBA, texture coordinate).
struct RenderVertex {
    float x, y;
    GLubyte r, g, b, a;
    float u, v;
};

class RenderCommand {
public:
    enum class Type { CUSTOM_COMMAND, TRIANGLES_COMMAND };
    virtual ~RenderCommand() {}
    Type getType() const { return _type; }
    float getGlobalOrder() const { return _globalOrder; }

protected:
    explicit RenderCommand(Type t) : _type(t) {}
    Type _type;
    float _globalOrder = 0;
};

class CustomCommand : public RenderCommand {
public:
    CustomCommand() : RenderCommand(Type::CUSTOM_COMMAND) {}
    void init(float globalZOrder) { _globalOrder = globalZOrder; }
    void init(float globalZOrder, const Mat4&, uint32_t) { _globalOrder = globalZOrder; }
    void execute() const {
        if (func) func();
    }
    std::function<void()> func;
};

// Draws triangles; vertex positions are world design points.
class RenderBackend {
public:
    virtual ~RenderBackend() {}
    virtual void clear(const Color4B& color) = 0;
    virtual void drawTriangles(Texture2D* texture, const RenderVertex* vertices, int vertexCount,
                               const int* indices, int indexCount) = 0;
    // Clip to a rectangle in world design points, or to the whole design area (null).
    virtual void setClip(const Rect* designRect) = 0;
};

class Renderer {
public:
    void addCommand(RenderCommand* command);
    // Queues triangles (world design points); consecutive ones of one texture are batched.
    void addTriangles(Texture2D* texture, const RenderVertex* vertices, int vertexCount,
                      const int* indices, int indexCount);
    void addQuad(Texture2D* texture, const RenderVertex quad[4]);
    void render(RenderBackend* backend);
    void clear();
    // Draw calls and triangles of the last render(), for benchmarks.
    int getDrawnBatches() const { return _drawnBatches; }
    int getDrawnVertices() const { return _drawnVertices; }
    void setClearColor(const Color4B& c) { _clearColor = c; }

private:
    struct Entry {
        CustomCommand* custom;
        Texture2D* texture;
        int vertexStart, vertexCount, indexStart, indexCount;
    };
    std::vector<Entry> _queue;
    std::vector<RenderVertex> _vertices;
    std::vector<int> _indices;
    Color4B _clearColor{0, 0, 0, 255};
    int _drawnBatches = 0, _drawnVertices = 0;
};

// An image in memory; the platform layer makes and draws them. Size in points is the
// pixel size divided by the content scale factor.
class Texture2D : public Ref {
public:
    int getPixelsWide() const { return _pixelsWide; }
    int getPixelsHigh() const { return _pixelsHigh; }
    Size getContentSize() const;
    const std::string& getPath() const { return _path; }

protected:
    Texture2D() = default;
    int _pixelsWide = 0, _pixelsHigh = 0;
    std::string _path;
};

}  // namespace cocos2d
