// Port list from the device-setup service: every present COM port interface, its "PortName"
// from the device's registry key and its device description, in enumeration order.
#include <windows.h>
#include <setupapi.h>

#include <cwchar>
#include <stdexcept>
#include <string>

#include "SerialLink.h"

namespace tavrick {
namespace {

// GUID_DEVINTERFACE_COMPORT, spelled out so that no extra header or library is needed.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0,
                                {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

std::string narrow(const wchar_t* text, int maxBytes) {
    if (!text || !*text) return {};
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    // The text may change between the two calls only in theory; a failed conversion names
    // nothing, rather than a string of NULs.
    const int got = WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], needed, nullptr, nullptr);
    if (got <= 1) return {};
    out.resize(static_cast<std::size_t>(got - 1));
    if (static_cast<int>(out.size()) > maxBytes) out.resize(static_cast<std::size_t>(maxBytes));
    return out;
}

std::string readPortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE || key == nullptr) return {};
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t);  // leave room: the value need not end in NUL
    DWORD type = 0;
    LONG result = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                   reinterpret_cast<LPBYTE>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return {};
    value[size / sizeof(wchar_t)] = L'\0';
    return narrow(value, 255);
}

std::string readDescription(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD required = 0;
    PBYTE buffer = nullptr;
    DWORD bufferSize = 0;
    // A property that keeps growing under us must not keep us here: a few tries, then skip it.
    int tries = 0;
    while (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr, buffer,
                                              bufferSize, &required)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || ++tries > 4) {
            if (buffer) LocalFree(buffer);
            return {};
        }
        if (buffer) LocalFree(buffer);
        bufferSize = required * 2;
        buffer = static_cast<PBYTE>(LocalAlloc(LMEM_ZEROINIT, bufferSize + sizeof(wchar_t)));
        if (!buffer) return {};
    }
    std::string description;
    if (buffer) {
        description = narrow(reinterpret_cast<const wchar_t*>(buffer),
                             static_cast<int>(required * 2));
        LocalFree(buffer);
    }
    return description;
}

// A USB device's enumerator is "USB" (or its hardware id begins with USB\); Bluetooth
// links come from "BTHENUM"; everything else (ACPI, PCI UARTs) is built in.
std::wstring readStringProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<PBYTE>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr))
        return {};
    if (type != REG_SZ && type != REG_MULTI_SZ) return {};
    return buffer;  // a multi-string's first entry is enough here
}

bool startsWithNoCase(const std::wstring& s, const wchar_t* prefix) {
    const std::size_t n = wcslen(prefix);
    return s.size() >= n && _wcsnicmp(s.c_str(), prefix, n) == 0;
}

PortKind readKind(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const std::wstring enumerator = readStringProperty(set, device, SPDRP_ENUMERATOR_NAME);
    const std::wstring hardwareId = readStringProperty(set, device, SPDRP_HARDWAREID);
    if (_wcsicmp(enumerator.c_str(), L"USB") == 0 || startsWithNoCase(hardwareId, L"USB\\"))
        return PortKind::Usb;
    if (startsWithNoCase(enumerator, L"BTH") || startsWithNoCase(hardwareId, L"BTHENUM\\"))
        return PortKind::Bluetooth;
    if (enumerator.empty() && hardwareId.empty()) return PortKind::Other;
    return PortKind::BuiltIn;
}

}  // namespace

std::vector<PortInfo> listSerialPorts() {
    HDEVINFO set = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("device setup service unavailable: Windows error " +
                                 std::to_string(GetLastError()));
    }
    std::vector<PortInfo> ports;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
        PortInfo info;
        info.portName = readPortName(set, device);
        if (info.portName.empty()) continue;
        info.description = readDescription(set, device);
        if (info.description.empty()) continue;
        info.kind = readKind(set, device);
        ports.push_back(std::move(info));
    }
    // An enumeration that stops on an error keeps what it found; the set is freed either way.
    SetupDiDestroyDeviceInfoList(set);
    orderPorts(ports);
    return ports;
}

}  // namespace tavrick
