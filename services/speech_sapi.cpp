// Speech through SAPI: asynchronous, each sentence purging the one before.
#include <windows.h>
// The voice's class and interface ids are defined here: MinGW has no library that holds them.
#include <initguid.h>
#include <sapi.h>

#include <cstdio>

#include "Speech.h"

namespace {
std::wstring wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

class Sapi : public Speech {
public:
    ~Sapi() override {
        if (voice) voice->Release();
        if (comStarted) CoUninitialize();
    }

    void say(const std::string& text) override {
        if (failed || text.empty()) return;
        if (!voice) {
            const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            comStarted = SUCCEEDED(init);
            const HRESULT made = CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_ISpVoice,
                                                  reinterpret_cast<void**>(&voice));
            if (FAILED(made) || !voice) {
                voice = nullptr;
                failed = true;
                std::fprintf(stderr, "tavrick-cards: nothing is said aloud: no voice (error 0x%08lx)\n",
                             static_cast<unsigned long>(made));
                return;
            }
        }
        const std::wstring w = wide(text);
        voice->Speak(w.c_str(), SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML, nullptr);
    }

private:
    ISpVoice* voice = nullptr;
    bool comStarted = false;
    bool failed = false;
};
}  // namespace

std::unique_ptr<Speech> Speech::open() { return std::make_unique<Sapi>(); }

bool Speech::screenReaderRunning() {
    BOOL on = FALSE;
    return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &on, 0) && on;
}
