// The page's port scan: the ports this page was granted that are present now, as
// serial_web.js keeps them (it asks the browser at start and on every plug event). A port is
// named by its USB chip where the ids tell it; the browser gives no device path.
#include <emscripten.h>

#include <cstdlib>

#include "SerialLink.h"
#include "UsbNames.h"
#include "tr.h"

namespace tavrick {

bool serialLinkAvailable() { return EM_ASM_INT({ return Module.tavrickSerial.available() ? 1 : 0; }) != 0; }

bool canAskForPort() { return serialLinkAvailable(); }

void askForPort() { EM_ASM({ Module.tavrickSerial.ask(); }); }

std::vector<PortInfo> listSerialPorts() {
    std::vector<PortInfo> ports;
    const int n = EM_ASM_INT({ return Module.tavrickSerial.count(); });
    for (int i = 0; i < n; ++i) {
        char* name = reinterpret_cast<char*>(EM_ASM_INT({ return stringToNewUTF8(Module.tavrickSerial.name($0)); }, i));
        const int vendor = EM_ASM_INT({ const v = Module.tavrickSerial.info($0).usbVendorId; return v === undefined ? -1 : v; }, i);
        const int product = EM_ASM_INT({ return Module.tavrickSerial.info($0).usbProductId || 0; }, i);
        PortInfo port;
        port.portName = name ? name : "";
        free(name);
        if (vendor >= 0) {
            port.kind = PortKind::Usb;
            const std::string chip = usbSerialChipName(static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product));
            port.description = !chip.empty() ? chip
                                             : i18n::format(i18n::tr("USB serial ({id})"),
                                                            {{"id", usbIdText(static_cast<std::uint16_t>(vendor),
                                                                              static_cast<std::uint16_t>(product))}});
        } else {
            port.kind = PortKind::Bluetooth;
            port.description = i18n::tr("Bluetooth serial");
        }
        ports.push_back(port);
    }
    orderPorts(ports);
    return ports;
}

}  // namespace tavrick
