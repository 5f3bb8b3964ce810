#include "SendData.h"

#include <new>

SendData* SendData::create(const std::string& text, int32_t delayMs) {
    SendData* data = new (std::nothrow) SendData();
    if (data && data->init()) {
        data->text = text;
        data->delayMs = delayMs;
        data->autorelease();
        return data;
    }
    delete data;
    return nullptr;
}

SendData::~SendData() = default;

bool SendData::init() {
    text.clear();
    delayMs = 0;
    closing = false;
    return true;
}
