#include "CCRef.h"

#include <algorithm>
#include <atomic>
#include <cassert>

namespace cocos2d {

namespace {
std::atomic<long> s_live{0};
}

Ref::Ref() : _referenceCount(1) { s_live.fetch_add(1, std::memory_order_relaxed); }
Ref::Ref(const Ref&) : _referenceCount(1) { s_live.fetch_add(1, std::memory_order_relaxed); }
Ref::~Ref() { s_live.fetch_sub(1, std::memory_order_relaxed); }

long Ref::getLiveCount() { return s_live.load(std::memory_order_relaxed); }

void Ref::retain() {
    assert(_referenceCount > 0 && "retain on a released object");
    ++_referenceCount;
}

void Ref::release() {
    assert(_referenceCount > 0 && "release on a released object");
    if (--_referenceCount == 0) delete this;
}

Ref* Ref::autorelease() {
    PoolManager::getInstance()->getCurrentPool()->addObject(this);
    return this;
}

void AutoreleasePool::clear() {
    std::vector<Ref*> objects;
    objects.swap(_objects);
    for (Ref* o : objects) o->release();
}

bool AutoreleasePool::contains(const Ref* object) const {
    return std::find(_objects.begin(), _objects.end(), object) != _objects.end();
}

PoolManager* PoolManager::getInstance() {
    static PoolManager instance;
    return &instance;
}

}  // namespace cocos2d
