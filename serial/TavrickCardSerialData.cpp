#include "TavrickCardSerialData.h"

#include <new>

TavrickCardSerialData* TavrickCardSerialData::create() {
    TavrickCardSerialData* data = new (std::nothrow) TavrickCardSerialData();
    if (data && data->init()) {
        data->autorelease();
        return data;
    }
    delete data;
    return nullptr;
}

TavrickCardSerialData* TavrickCardSerialData::create(const std::string& portName,
                                                     const std::string& description) {
    TavrickCardSerialData* data = create();
    if (data) {
        data->portName = portName;
        data->description = description;
    }
    return data;
}

TavrickCardSerialData::~TavrickCardSerialData() = default;

bool TavrickCardSerialData::init() {
    portName.clear();
    description.clear();
    kind = tavrick::PortKind::Other;
    return true;
}
