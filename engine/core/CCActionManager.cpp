#include "CCActionManager.h"

#include <algorithm>

#include "CCNode.h"

namespace cocos2d {

ActionManager::~ActionManager() { removeAllActions(); }

ActionManager::Element* ActionManager::find(const Node* target) {
    for (auto& e : _elements)
        if (e.target == target) return &e;
    return nullptr;
}

const ActionManager::Element* ActionManager::find(const Node* target) const {
    for (auto& e : _elements)
        if (e.target == target) return &e;
    return nullptr;
}

void ActionManager::addAction(Action* action, Node* target, bool paused) {
    if (!action || !target) return;
    Element* e = find(target);
    if (!e) {
        target->retain();
        _elements.push_back({target, {}, paused});
        e = &_elements.back();
    }
    action->retain();
    e->actions.push_back(action);
    action->startWithTarget(target);
}

void ActionManager::removeAt(Element* e, size_t index) {
    Action* a = e->actions[index];
    e->actions.erase(e->actions.begin() + index);
    a->release();
}

void ActionManager::purgeEmpty() {
    if (_updating) return;
    for (size_t i = 0; i < _elements.size();) {
        if (_elements[i].actions.empty()) {
            Node* t = _elements[i].target;
            _elements.erase(_elements.begin() + i);
            t->release();
        } else {
            ++i;
        }
    }
}

void ActionManager::removeAllActions() {
    std::vector<Element> elements;
    elements.swap(_elements);
    for (auto& e : elements) {
        for (Action* a : e.actions) {
            a->stop();
            a->release();
        }
        e.target->release();
    }
}

void ActionManager::removeAllActionsFromTarget(Node* target) {
    Element* e = find(target);
    if (!e) return;
    std::vector<Action*> actions;
    actions.swap(e->actions);
    for (Action* a : actions) {
        a->stop();
        a->release();
    }
    purgeEmpty();
}

void ActionManager::removeAction(Action* action) {
    if (!action) return;
    for (auto& e : _elements) {
        auto it = std::find(e.actions.begin(), e.actions.end(), action);
        if (it != e.actions.end()) {
            removeAt(&e, it - e.actions.begin());
            purgeEmpty();
            return;
        }
    }
}

void ActionManager::removeActionByTag(int tag, Node* target) {
    Element* e = find(target);
    if (!e) return;
    for (size_t i = 0; i < e->actions.size(); ++i) {
        if (e->actions[i]->getTag() == tag) {
            e->actions[i]->stop();
            removeAt(e, i);
            purgeEmpty();
            return;
        }
    }
}

Action* ActionManager::getActionByTag(int tag, const Node* target) const {
    const Element* e = find(target);
    if (!e) return nullptr;
    for (Action* a : e->actions)
        if (a->getTag() == tag) return a;
    return nullptr;
}

ssize_t ActionManager::getNumberOfRunningActionsInTarget(const Node* target) const {
    const Element* e = find(target);
    return e ? static_cast<ssize_t>(e->actions.size()) : 0;
}

void ActionManager::pauseTarget(Node* target) {
    if (Element* e = find(target)) e->paused = true;
}

void ActionManager::resumeTarget(Node* target) {
    if (Element* e = find(target)) e->paused = false;
}

void ActionManager::update(float dt) {
    ++_updating;
    // Snapshots, each entry retained: a step may add actions, stop them or free nodes.
    std::vector<Node*> targets;
    targets.reserve(_elements.size());
    for (auto& e : _elements) {
        if (e.paused) continue;
        e.target->retain();
        targets.push_back(e.target);
    }
    std::vector<Action*> actions;
    for (Node* target : targets) {
        Element* e = find(target);
        if (!e || e->paused) continue;
        actions = e->actions;
        for (Action* a : actions) a->retain();
        for (Action* a : actions) {
            e = find(target);
            if (!e || e->paused) break;
            if (std::find(e->actions.begin(), e->actions.end(), a) == e->actions.end()) continue;
            a->step(dt);
            e = find(target);
            if (!e) break;
            auto it = std::find(e->actions.begin(), e->actions.end(), a);
            if (it != e->actions.end() && a->isDone()) {
                a->stop();
                e = find(target);
                it = std::find(e->actions.begin(), e->actions.end(), a);
                if (it != e->actions.end()) removeAt(e, it - e->actions.begin());
            }
        }
        for (Action* a : actions) a->release();
    }
    --_updating;
    purgeEmpty();
    for (Node* t : targets) t->release();
}

bool ActionManager::hasActiveActions() const {
    for (const auto& e : _elements)
        if (!e.paused && !e.actions.empty()) return true;
    return false;
}

}  // namespace cocos2d
