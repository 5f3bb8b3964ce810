#include "CCRenderer.h"

#include "CCDirector.h"

namespace cocos2d {

Size Texture2D::getContentSize() const {
    const float csf = Director::getInstance()->getContentScaleFactor();
    return Size(_pixelsWide / csf, _pixelsHigh / csf);
}

void Renderer::addCommand(RenderCommand* command) {
    if (!command) return;
    if (command->getType() == RenderCommand::Type::CUSTOM_COMMAND) {
        _queue.push_back({static_cast<CustomCommand*>(command), nullptr, 0, 0, 0, 0});
    }
}

void Renderer::addTriangles(Texture2D* texture, const RenderVertex* vertices, int vertexCount,
                            const int* indices, int indexCount) {
    const int base = static_cast<int>(_vertices.size());
    _vertices.insert(_vertices.end(), vertices, vertices + vertexCount);
    const int indexStart = static_cast<int>(_indices.size());
    if (!_queue.empty() && !_queue.back().custom && _queue.back().texture == texture) {
        Entry& e = _queue.back();
        const int offset = base - e.vertexStart;
        for (int i = 0; i < indexCount; ++i) _indices.push_back(indices[i] + offset);
        e.vertexCount += vertexCount;
        e.indexCount += indexCount;
        return;
    }
    for (int i = 0; i < indexCount; ++i) _indices.push_back(indices[i]);
    _queue.push_back({nullptr, texture, base, vertexCount, indexStart, indexCount});
}

void Renderer::addQuad(Texture2D* texture, const RenderVertex quad[4]) {
    static const int kQuad[6] = {0, 1, 2, 2, 1, 3};
    addTriangles(texture, quad, 4, kQuad, 6);
}

void Renderer::render(RenderBackend* backend) {
    _drawnBatches = 0;
    _drawnVertices = 0;
    if (backend) {
        backend->clear(_clearColor);
        for (const Entry& e : _queue) {
            if (e.custom) {
                e.custom->execute();
                continue;
            }
            backend->drawTriangles(e.texture, _vertices.data() + e.vertexStart, e.vertexCount,
                                   _indices.data() + e.indexStart, e.indexCount);
            ++_drawnBatches;
            _drawnVertices += e.vertexCount;
        }
        backend->setClip(nullptr);
    }
    clear();
}

void Renderer::clear() {
    _queue.clear();
    _vertices.clear();
    _indices.clear();
}

}  // namespace cocos2d
