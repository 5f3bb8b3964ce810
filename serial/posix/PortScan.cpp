// Port list from libserialport: it knows USB product names, which is what a child recognises.
#include <libserialport.h>

#include <algorithm>
#include <stdexcept>

#include "SerialLink.h"

namespace tavrick {

std::vector<PortInfo> listSerialPorts() {
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK) {
        char* message = sp_last_error_message();
        std::string text = message ? message : "unknown error";
        sp_free_error_message(message);
        throw std::runtime_error("listing serial ports failed: " + text);
    }
    std::vector<PortInfo> ports;
    for (sp_port** p = list; p && *p; ++p) {
        const char* name = sp_get_port_name(*p);
        const char* description = sp_get_port_description(*p);
        ports.push_back({name ? name : "", description ? description : ""});
    }
    sp_free_port_list(list);
    ports = usablePorts(std::move(ports));
    // The system lists ports in no particular order; sorting keeps the panel and the chosen
    // index steady from one scan to the next.
    std::stable_sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        return a.portName < b.portName;
    });
    return ports;
}

}  // namespace tavrick
