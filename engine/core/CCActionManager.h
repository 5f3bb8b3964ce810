#pragma once
// Runs the actions of every node, once per frame. Actions and their targets are retained
// while they run; actions may be added, stopped or their target removed from inside a step.
#include <vector>

#include "CCAction.h"

namespace cocos2d {

class ActionManager : public Ref {
public:
    ~ActionManager() override;
    void addAction(Action* action, Node* target, bool paused);
    void removeAllActions();
    void removeAllActionsFromTarget(Node* target);
    void removeAction(Action* action);
    void removeActionByTag(int tag, Node* target);
    Action* getActionByTag(int tag, const Node* target) const;
    ssize_t getNumberOfRunningActionsInTarget(const Node* target) const;
    void pauseTarget(Node* target);
    void resumeTarget(Node* target);
    void update(float dt);
    // True when some action of a running target will change something on the next frame.
    bool hasActiveActions() const;

private:
    struct Element {
        Node* target;
        std::vector<Action*> actions;
        bool paused;
    };
    Element* find(const Node* target);
    const Element* find(const Node* target) const;
    void removeAt(Element* e, size_t index);
    void purgeEmpty();
    std::vector<Element> _elements;
    int _updating = 0;
};

}  // namespace cocos2d
