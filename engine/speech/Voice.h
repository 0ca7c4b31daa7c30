// The one thing the engine asks of a speech synthesiser: a text said in a language, as sound.
// The command implements it with the espeak-ng program, the window with the voices Windows has
// (SAPI 5), the tests with a voice that gives a short tone. The engine writes the files itself,
// so the bytes on the player, the room they take and what a failed write leaves are the engine's
// on every platform.
#pragma once

#include <string_view>

#include "speech/SpokenWave.h"

enum class SpokenLanguage { Chinese, English };

enum class VoiceResult {
    Spoken,
    NoVoice,  // no voice for the language: asking again for it is no use
    Failed,   // this text could not be said (the program failed, took too long, gave no sound)
};

class IVoice {
public:
    // False when there is no synthesiser at all (espeak-ng not installed, no SAPI): the run then
    // says once what is missing and asks for nothing.
    virtual bool Available() = 0;
    // Says the text; `out` holds the sound when Spoken, at any rate (the engine takes the players'
    // rates only).
    virtual VoiceResult Speak(std::u16string_view text, SpokenLanguage language,
                              SpokenSound& out) = 0;

protected:
    ~IVoice() = default;
};
