#pragma once
// Intrusive reference counting with an autorelease pool that the Director drains at the
// end of every frame: a create() result lives to the end of the frame unless retained.
#include <cstddef>
#include <vector>

namespace cocos2d {

class Ref {
public:
    virtual ~Ref();
    void retain();
    void release();
    Ref* autorelease();
    unsigned int getReferenceCount() const { return _referenceCount; }
    // How many objects exist in the process right now: a leak check counts them before and
    // after a piece of work.
    static long getLiveCount();

protected:
    Ref();
    // A copy is a new object with its own single reference.
    Ref(const Ref&);

private:
    unsigned int _referenceCount;
};

class Node;
typedef void (Ref::*SEL_SCHEDULE)(float);
typedef void (Ref::*SEL_CallFunc)();
typedef void (Ref::*SEL_CallFuncN)(Node*);
#define CC_SCHEDULE_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_SCHEDULE>(&_SELECTOR)
#define CC_CALLFUNC_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_CallFunc>(&_SELECTOR)
#define CC_CALLFUNCN_SELECTOR(_SELECTOR) static_cast<cocos2d::SEL_CallFuncN>(&_SELECTOR)

#define CC_SAFE_RELEASE(p) do { if (p) { (p)->release(); } } while (0)
#define CC_SAFE_RELEASE_NULL(p) do { if (p) { (p)->release(); (p) = nullptr; } } while (0)
#define CC_SAFE_RETAIN(p) do { if (p) { (p)->retain(); } } while (0)
#define CC_SAFE_DELETE(p) do { delete (p); (p) = nullptr; } while (0)

class AutoreleasePool {
public:
    void addObject(Ref* object) { _objects.push_back(object); }
    // Releases every pooled object once; objects autoreleased while draining go to the
    // next drain, so a destructor may autorelease safely.
    void clear();
    bool contains(const Ref* object) const;
    size_t size() const { return _objects.size(); }

private:
    std::vector<Ref*> _objects;
};

class PoolManager {
public:
    static PoolManager* getInstance();
    AutoreleasePool* getCurrentPool() { return &_pool; }

private:
    AutoreleasePool _pool;
};

}  // namespace cocos2d
