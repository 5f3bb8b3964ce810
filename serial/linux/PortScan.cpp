// Port list from libserialport: it knows the transport and the USB product names, which is what
// tells the board the child plugged in from the machine's own UARTs.
#include <libserialport.h>

#include <stdexcept>

#include "SerialLink.h"

namespace tavrick {
namespace {

std::string text(const char* s) { return s ? s : ""; }

bool isBuiltInName(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    return base.rfind("ttyS", 0) == 0;
}

PortInfo describe(sp_port* port) {
    PortInfo info;
    info.portName = text(sp_get_port_name(port));
    info.description = text(sp_get_port_description(port));
    switch (sp_get_port_transport(port)) {
        case SP_TRANSPORT_USB: {
            info.kind = PortKind::Usb;
            // "CP2102 USB to UART Bridge Controller" says more than "ttyUSB0".
            const std::string product = text(sp_get_port_usb_product(port));
            const std::string maker = text(sp_get_port_usb_manufacturer(port));
            if (!product.empty())
                info.description = product;
            else if (!maker.empty())
                info.description = maker;
            break;
        }
        case SP_TRANSPORT_BLUETOOTH:
            info.kind = PortKind::Bluetooth;
            break;
        default:
            info.kind = PortKind::BuiltIn;
            break;
    }
    if (isBuiltInName(info.portName)) info.kind = PortKind::BuiltIn;
    return info;
}

}  // namespace

std::vector<PortInfo> listSerialPorts() {
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK) {
        char* message = sp_last_error_message();
        std::string why = message ? message : "unknown error";
        sp_free_error_message(message);
        throw std::runtime_error("listing serial ports failed: " + why);
    }
    std::vector<PortInfo> ports;
    for (sp_port** p = list; p && *p; ++p) ports.push_back(describe(*p));
    sp_free_port_list(list);
    ports = usablePorts(std::move(ports));
    orderPorts(ports);
    return ports;
}

}  // namespace tavrick
