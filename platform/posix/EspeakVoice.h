// The command's voice: the espeak-ng program (Debian's package espeak-ng), run once a name with
// its arguments and never through a shell, the text on its standard input, the sound read back
// from its standard output, in bounded time. Its Mandarin voice "cmn-latn-pinyin" says every
// Chinese character (the plain "cmn" voice reads most of them as letters and tone numbers);
// other names are said by its American English voice.
#pragma once

#include <string>

#include "speech/Voice.h"

class EspeakVoice : public IVoice {
public:
    // `program`: the name looked up on PATH, or a path.
    explicit EspeakVoice(std::string program = "espeak-ng") : m_program(std::move(program)) {}

    // Whether the program runs here; asked once, with the voices it has.
    bool Available() override;
    VoiceResult Speak(std::u16string_view text, SpokenLanguage language, SpokenSound& out) override;

    // The voice each language is said in.
    static const char* VoiceName(SpokenLanguage language);
    // How long one name may take before the program is stopped.
    static constexpr int kTimeoutMs = 10000;

private:
    int m_available = -1;  // -1 until asked
    bool m_voices[2] = {};
    std::string m_program;
};
