#include <gtest/gtest.h>

#include "SceneDriver.h"

using namespace cocos2d;

namespace {

class Nodes : public ::testing::Test {
protected:
    void SetUp() override { scenetest::useOffscreenView(); }
    void TearDown() override { scenetest::resetEngine(); }
};

void expectNear(const Vec2& a, const Vec2& b) {
    EXPECT_NEAR(a.x, b.x, 1e-3);
    EXPECT_NEAR(a.y, b.y, 1e-3);
}

TEST_F(Nodes, PositionIsTheAnchorPointsInTheParent) {
    Node* n = Node::create();
    n->setContentSize(Size(100, 50));
    n->setAnchorPoint(Vec2(0.5f, 0.5f));
    n->setPosition(200, 300);
    Rect box = n->getBoundingBox();
    EXPECT_EQ(box, Rect(150, 275, 100, 50));
    n->setIgnoreAnchorPointForPosition(true);  // lower left at the position
    EXPECT_EQ(n->getBoundingBox(), Rect(200, 300, 100, 50));
}

TEST_F(Nodes, ScaleAndClockwiseRotationAboutTheAnchor) {
    Node* n = Node::create();
    n->setContentSize(Size(100, 50));
    n->setAnchorPoint(Vec2(0, 0));
    n->setScale(2, 3);
    EXPECT_EQ(n->getBoundingBox(), Rect(0, 0, 200, 150));
    n->setScale(1);
    n->setRotation(90);  // clockwise: the +x edge now points down
    expectNear(n->convertToWorldSpace(Vec2(100, 0)), Vec2(0, -100));
    expectNear(n->convertToWorldSpace(Vec2(0, 50)), Vec2(50, 0));
    const Rect box = n->getBoundingBox();
    EXPECT_NEAR(box.origin.x, 0, 1e-3);
    EXPECT_NEAR(box.origin.y, -100, 1e-3);
    EXPECT_NEAR(box.size.width, 50, 1e-3);
    EXPECT_NEAR(box.size.height, 100, 1e-3);
}

TEST_F(Nodes, ConversionsThroughNestedParentsRoundTrip) {
    Node* outer = Node::create();
    outer->setPosition(100, 50);
    outer->setScale(2);
    Node* inner = Node::create();
    inner->setContentSize(Size(10, 10));
    inner->setAnchorPoint(Vec2(0.5f, 0.5f));
    inner->setPosition(20, 30);
    inner->setRotation(30);
    outer->addChild(inner);
    const Vec2 w = inner->convertToWorldSpace(Vec2(5, 5));  // the anchor
    expectNear(w, Vec2(140, 110));
    expectNear(inner->convertToNodeSpace(w), Vec2(5, 5));
    const Vec2 p(3, -7);
    expectNear(inner->convertToNodeSpace(inner->convertToWorldSpace(p)), p);
    expectNear(inner->getNodeToWorldTransform().transformPoint(p), inner->convertToWorldSpace(p));
    Node* mirrored = Node::create();
    mirrored->setScaleX(-1);
    outer->addChild(mirrored);
    expectNear(mirrored->convertToWorldSpace(Vec2(10, 0)), Vec2(80, 50));
}

TEST_F(Nodes, ChildrenDrawByZOrderThenInsertion) {
    Layer* root = Layer::create();
    auto* red = LayerColor::create(Color4B(255, 0, 0, 255), 100, 100);
    auto* green = LayerColor::create(Color4B(0, 255, 0, 255), 100, 100);
    auto* blue = LayerColor::create(Color4B(0, 0, 255, 255), 100, 100);
    root->addChild(red);
    root->addChild(green);
    root->addChild(blue, -1);
    scenetest::runScene(root);
    EXPECT_EQ(scenetest::pixelAt(Vec2(50, 50)), Color4B(0, 255, 0, 255));
    green->setLocalZOrder(-2);
    EXPECT_EQ(scenetest::pixelAt(Vec2(50, 50)), Color4B(255, 0, 0, 255));
    red->setVisible(false);
    EXPECT_EQ(scenetest::pixelAt(Vec2(50, 50)), Color4B(0, 0, 255, 255));
    blue->setOpacity(0);
    EXPECT_EQ(scenetest::pixelAt(Vec2(50, 50)), Color4B(0, 255, 0, 255));
}

TEST_F(Nodes, MissingImageNamesTheFileAndGivesNull) {
    testing::internal::CaptureStderr();
    Sprite* s = Sprite::create("res/no_such_picture.png");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(s, nullptr);
    EXPECT_NE(err.find("res/no_such_picture.png"), std::string::npos);
    Sprite* kept = Sprite::create("res/r_led0.png");
    const Size before = kept->getContentSize();
    testing::internal::CaptureStderr();
    kept->setTexture("res/no_such_picture.png");  // the sprite stays as it was
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(kept->getContentSize(), before);
}

}  // namespace
