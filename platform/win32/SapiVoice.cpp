#include "SapiVoice.h"

// XP's SAPI 5.1: the interfaces every later SAPI still has.
#define _SAPI_VER 0x51
#include <windows.h>
#include <objbase.h>
#include <sapi.h>

#include <iterator>
#include <string>

namespace {

// The classes and the stream format SAPI names, so that no SAPI library is linked.
const CLSID kSpVoice = {
    0x96749377, 0x3391, 0x11d2, {0x9e, 0xe3, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
const CLSID kSpStream = {
    0x715d9c59, 0x4442, 0x11d2, {0x96, 0x05, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0x28}};
const CLSID kSpObjectTokenCategory = {
    0xa910187f, 0x0c7a, 0x45ac, {0x92, 0xcc, 0x59, 0xed, 0xaf, 0xb7, 0x7b, 0x53}};
const GUID kWaveFormatEx = {
    0xc31adbae, 0x527f, 0x4ff5, {0xa2, 0x30, 0xf6, 0x2b, 0xb6, 0x1f, 0xf7, 0x0c}};

constexpr DWORD kRate = 22050;

// A voice's languages, as SAPI's tokens give them (hexadecimal language ids): Chinese of the PRC,
// Taiwan, Hong Kong, Singapore and Macao; English of the US, Britain, Australia and Canada.
const wchar_t* const kChinese[] = {L"Language=804", L"Language=404", L"Language=C04",
                                   L"Language=1004", L"Language=1404"};
const wchar_t* const kEnglish[] = {L"Language=409", L"Language=809", L"Language=C09",
                                   L"Language=1009"};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (m_p)
            m_p->Release();
    }
    T** Out() { return &m_p; }
    void** OutVoid() { return reinterpret_cast<void**>(&m_p); }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// COM on the calling thread (the run's worker) while it lives. Multithreaded: the worker pumps no
// messages, and SAPI's objects live in either kind of apartment.
class ComApartment {
public:
    ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    // A thread COM already knows in another kind of apartment serves as well.
    bool Ready() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_hr;
};

// The first installed voice that speaks one of the language's kinds.
bool FindVoice(SpokenLanguage language, ISpObjectToken** token) {
    ComPtr<ISpObjectTokenCategory> category;
    if (FAILED(CoCreateInstance(kSpObjectTokenCategory, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(ISpObjectTokenCategory), category.OutVoid())) ||
        FAILED(category->SetId(SPCAT_VOICES, FALSE)))
        return false;
    const bool chinese = language == SpokenLanguage::Chinese;
    const wchar_t* const* wanted = chinese ? std::begin(kChinese) : std::begin(kEnglish);
    const wchar_t* const* end = chinese ? std::end(kChinese) : std::end(kEnglish);
    for (; wanted != end; ++wanted) {
        ComPtr<IEnumSpObjectTokens> tokens;
        if (SUCCEEDED(category->EnumTokens(*wanted, nullptr, tokens.Out())) && tokens &&
            tokens->Next(1, token, nullptr) == S_OK)
            return true;
    }
    return false;
}

}  // namespace

// SAPI's voice, and a stream it can speak into: Wine's SAPI makes both but cannot write sound
// into the stream, so it speaks nothing.
bool CSapiVoice::Available() {
    ComApartment com;
    ComPtr<ISpVoice> voice;
    ComPtr<ISpStream> stream;
    ComPtr<IStream> memory;
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, kRate, 2 * kRate, 2, 16, 0};
    return com.Ready() &&
           SUCCEEDED(CoCreateInstance(kSpVoice, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISpVoice),
                                      voice.OutVoid())) &&
           SUCCEEDED(CoCreateInstance(kSpStream, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISpStream),
                                      stream.OutVoid())) &&
           SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, memory.Out())) &&
           SUCCEEDED(stream->SetBaseStream(memory.Get(), kWaveFormatEx, &format));
}

VoiceResult CSapiVoice::Speak(std::u16string_view text, SpokenLanguage language, SpokenSound& out) {
    ComApartment com;
    if (!com.Ready())
        return VoiceResult::Failed;
    ComPtr<ISpObjectToken> token;
    if (!FindVoice(language, token.Out()))
        return VoiceResult::NoVoice;
    ComPtr<ISpVoice> voice;
    ComPtr<ISpStream> stream;
    ComPtr<IStream> memory;
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, kRate, 2 * kRate, 2, 16, 0};
    // Plain text: a title with "<" in it is no markup.
    std::u16string said(text);
    HRESULT hr = CoCreateInstance(kSpVoice, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISpVoice),
                                  voice.OutVoid());
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(kSpStream, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISpStream),
                              stream.OutVoid());
    if (SUCCEEDED(hr))
        hr = CreateStreamOnHGlobal(nullptr, TRUE, memory.Out());
    if (SUCCEEDED(hr))
        hr = stream->SetBaseStream(memory.Get(), kWaveFormatEx, &format);
    if (SUCCEEDED(hr))
        hr = voice->SetOutput(stream.Get(), TRUE);
    if (SUCCEEDED(hr))
        hr = voice->SetVoice(token.Get());
    if (SUCCEEDED(hr))
        hr = voice->Speak(reinterpret_cast<const wchar_t*>(said.c_str()),
                          SPF_ASYNC | SPF_IS_NOT_XML | SPF_PURGEBEFORESPEAK, nullptr);
    // A SAPI that lists a voice but cannot make sound with it (Wine's: its stream and Speak are
    // not implemented) has no voice that speaks.
    if (hr == E_NOTIMPL)
        return VoiceResult::NoVoice;
    if (FAILED(hr))
        return VoiceResult::Failed;
    if (voice->WaitUntilDone(kTimeoutMs) != S_OK) {
        voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
        return VoiceResult::Failed;
    }
    STATSTG stat = {};
    HGLOBAL global = nullptr;
    if (FAILED(memory->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(GetHGlobalFromStream(memory.Get(), &global)))
        return VoiceResult::Failed;
    const auto bytes = static_cast<size_t>(stat.cbSize.QuadPart);
    const auto* pcm = static_cast<const uint8_t*>(GlobalLock(global));
    if (!pcm)
        return VoiceResult::Failed;
    out.rate = kRate;
    out.samples.resize(bytes / 2);
    for (size_t i = 0; i < out.samples.size(); ++i)
        out.samples[i] = static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
    GlobalUnlock(global);
    return out.samples.empty() ? VoiceResult::Failed : VoiceResult::Spoken;
}
