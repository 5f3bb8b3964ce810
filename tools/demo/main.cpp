// A small scene that exercises the engine in a real window: sprites, a label, a moving
// action and a button that reacts to the mouse.
#include "cocos2d.h"

using namespace cocos2d;

namespace {

bool inside(Node* n, Touch* t) {
    Rect box = n->getBoundingBox();
    box.origin = n->getParent()->convertToWorldSpace(box.origin);
    return box.containsPoint(t->getLocation());
}

class DemoLayer : public Layer {
public:
    static DemoLayer* create() {
        auto* l = new DemoLayer;
        if (l->init()) return static_cast<DemoLayer*>(l->autorelease());
        delete l;
        return nullptr;
    }

    bool init() override {
        if (!Layer::init()) return false;
        const Size s = Director::getInstance()->getVisibleSize();
        addChild(LayerColor::create(Color4B(250, 250, 245, 255), s.width, s.height));
        const char* cards[] = {"res/r_led1.png", "res/r_led0.png", "res/r_wait1.png",
                               "res/r_wait3.png"};
        float x = 150;
        for (const char* c : cards) {
            if (Sprite* sp = Sprite::create(c)) {
                sp->setPosition(x, s.height - 140);
                addChild(sp);
                x += sp->getContentSize().width + 30;
            }
        }
        _label = Label::createWithSystemFont("Press the play button", "Futura-Medium", 30);
        _label->setTextColor(Color4B(30, 30, 30, 255));
        _label->setPosition(s.width / 2, 120);
        addChild(_label);
        _mover = Sprite::create("res/r_wait10.png");
        if (_mover) {
            _mover->setPosition(150, s.height / 2);
            addChild(_mover);
        }
        _button = Sprite::create("res/r_play.png");
        if (_button) {
            _button->setPosition(s.width - 120, s.height / 2);
            addChild(_button);
            auto* l = EventListenerTouchOneByOne::create();
            l->setSwallowTouches(true);
            l->onTouchBegan = [this](Touch* t, Event*) {
                if (!inside(_button, t)) return false;
                _button->setOpacity(192);
                return true;
            };
            l->onTouchEnded = [this](Touch* t, Event*) {
                _button->setOpacity(255);
                if (inside(_button, t)) play();
            };
            getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, _button);
        }
        play();
        return true;
    }

    void play() {
        ++_plays;
        _label->setString(_plays == 1 ? "Press the play button" : "Played " + std::to_string(_plays - 1) + " times");
        if (!_mover) return;
        // Finite on purpose: once it ends, the window sleeps until the next event.
        _mover->stopAllActions();
        const float y = _mover->getPositionY();
        _mover->runAction(Sequence::create(MoveTo::create(1.0f, Vec2(700, y)),
                                           EaseExponentialOut::create(MoveTo::create(1.0f, Vec2(150, y))),
                                           nullptr));
        _mover->runAction(RotateBy::create(2.0f, 360));
    }

private:
    Label* _label = nullptr;
    Sprite* _mover = nullptr;
    Sprite* _button = nullptr;
    int _plays = 0;
};

class DemoApp : public Application {
public:
    bool applicationDidFinishLaunching() override {
        Director* d = Director::getInstance();
        FileUtils::getInstance()->addSearchPath(TAVRICK_SOURCE_DIR);
        auto* view = GLViewImpl::createWithRect("Engine demo", Rect(0, 0, 1024, 768));
        if (!view) return false;
        d->setOpenGLView(view);
        view->setDesignResolutionSize(1024, 768, ResolutionPolicy::SHOW_ALL);
        d->setContentScaleFactor(2.0f);
        d->setAnimationInterval(1.0f / 60);
        Scene* scene = Scene::create();
        scene->addChild(DemoLayer::create());
        d->runWithScene(scene);
        return true;
    }
    void applicationDidEnterBackground() override { Director::getInstance()->setWindowHidden(true); }
    void applicationWillEnterForeground() override { Director::getInstance()->setWindowHidden(false); }
};

}  // namespace

int main() {
    DemoApp app;
    return Application::getInstance()->run();
}
