#include "CCRef.h"

#include <algorithm>
#include <cassert>

namespace cocos2d {

Ref::Ref() : _referenceCount(1) {}
Ref::~Ref() {}

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
