#include "WinPorts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace wintest {

std::string portFromEnv(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value) {
        ADD_FAILURE() << variable << " is not set: run the tests through run_under_wine.py";
        return "COM-unset";
    }
    return value;
}

DWORD openHandles() {
    DWORD count = 0;
    EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &count));
    return count;
}

HANDLE openPort(const std::string& name) {
    const std::wstring device = L"\\\\.\\" + std::wstring(name.begin(), name.end());
    return CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

Reader::Reader(const std::string& name) : port_(name) {
    if (!port_.isOpen()) return;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // with both totals 0: return at once
    SetCommTimeouts(port_.handle(), &timeouts);
}

std::string Reader::read(std::size_t count, std::chrono::milliseconds timeout) {
    std::string got;
    const Clock::time_point deadline = Clock::now() + timeout;
    char buffer[4096];
    while (got.size() < count) {
        DWORD want = static_cast<DWORD>(std::min(sizeof buffer, count - got.size()));
        DWORD n = 0;
        if (!ReadFile(port_.handle(), buffer, want, &n, nullptr)) break;
        got.append(buffer, n);
        if (n == 0) {
            if (Clock::now() >= deadline) break;
            std::this_thread::sleep_for(1ms);
        }
    }
    return got;
}

bool Reader::write(const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(port_.handle(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void Reader::drain() {
    while (!read(4096, 50ms).empty()) {
    }
}

namespace {

const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE,
                          {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0,
                                {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const wchar_t kIdPrefix[] = L"ROOT\\TAVRICKTEST\\";

}  // namespace

void FakeComPorts::add(const wchar_t* portName, const wchar_t* description) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    const std::wstring id = kIdPrefix + std::to_wstring(next_++);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    EXPECT_TRUE(SetupDiCreateDeviceInfoW(set, id.c_str(), &kPortsClass, nullptr, nullptr, 0, &device));
    EXPECT_TRUE(SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr));
    EXPECT_TRUE(SetupDiCreateDeviceInterfaceW(set, &device, &kComPortInterface, nullptr, 0, &iface));
    HKEY key = SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr,
                                       nullptr);
    EXPECT_NE(key, INVALID_HANDLE_VALUE);
    if (key != INVALID_HANDLE_VALUE) {
        if (portName) {
            const DWORD size = static_cast<DWORD>((wcslen(portName) + 1) * sizeof(wchar_t));
            EXPECT_EQ(RegSetValueExW(key, L"PortName", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(portName), size),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
    }
    if (description) {
        const DWORD size = static_cast<DWORD>((wcslen(description) + 1) * sizeof(wchar_t));
        EXPECT_TRUE(SetupDiSetDeviceRegistryPropertyW(
            set, &device, SPDRP_DEVICEDESC, reinterpret_cast<const BYTE*>(description), size));
    }
    SetupDiDestroyDeviceInfoList(set);
}

void FakeComPorts::removeAll() {
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) return;
    const std::size_t prefixLength = wcslen(kIdPrefix);
    std::vector<SP_DEVINFO_DATA> ours;  // removed after the walk, which they could disturb
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
        wchar_t id[256] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &device, id, 256, nullptr) &&
            wcsncmp(id, kIdPrefix, prefixLength) == 0) {
            ours.push_back(device);
        }
    }
    for (SP_DEVINFO_DATA& device : ours) {
        EXPECT_TRUE(SetupDiRemoveDevice(set, &device)) << GetLastError();
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace wintest
