#pragma once
// The engine: the part of the cocos2d-x 3 API this product uses, on SDL2.
#include "CCGeometry.h"
#include "CCRef.h"
#include "CCVector.h"
#include "CCScheduler.h"
#include "CCAction.h"
#include "CCActionManager.h"
#include "CCNode.h"
#include "CCLayer.h"
#include "CCTouch.h"
#include "CCEvent.h"
#include "CCEventListener.h"
#include "CCEventDispatcher.h"
#include "CCRenderer.h"
#include "CCGLView.h"
#include "CCDirector.h"
#include "CCApplication.h"
#include "CCFileUtils.h"
#if !defined(COCOS2D_CORE_ONLY)
#include "CCSprite.h"
#include "CCLabel.h"
#include "CCAudio.h"
#include "CCTexture.h"
#include "CCDevice.h"
#include "CCGLViewImpl.h"
#endif

#define USING_NS_CC using namespace cocos2d
#define NS_CC_BEGIN namespace cocos2d {
#define NS_CC_END }
