// The window's voice: the voices Windows has, through SAPI 5 (XP's is 5.1), reached through COM
// alone, so the program imports nothing that XP lacks: a Chinese voice for a name with Chinese
// characters, an English one for any other. The sound is made in memory at 22.05 kHz, 16-bit mono,
// the players' own format, and a voice that takes too long is stopped.
#pragma once

#include "speech/Voice.h"

class CSapiVoice : public IVoice {
public:
    // How long one name may take before the voice is stopped.
    static constexpr unsigned kTimeoutMs = 10000;

    // Whether SAPI's voice can be made on this Windows, with a stream in memory to speak into.
    bool Available() override;
    VoiceResult Speak(std::u16string_view text, SpokenLanguage language, SpokenSound& out) override;
};
