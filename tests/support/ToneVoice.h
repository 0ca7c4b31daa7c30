// The engine's test voice: a short tone for any text, as long as the text (a few samples a unit),
// so that every rule of the spoken names is checked without a synthesiser. It can lack either
// language, fail on a text, be missing altogether, and it records what it was asked to say.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "speech/Voice.h"

class ToneVoice : public IVoice {
public:
    static constexpr size_t kSamplesPerUnit = 40;

    bool Available() override { return available; }
    VoiceResult Speak(std::u16string_view text, SpokenLanguage language,
                      SpokenSound& out) override {
        said.emplace_back(std::u16string(text), language);
        if (!(language == SpokenLanguage::Chinese ? chinese : english))
            return VoiceResult::NoVoice;
        if (text == failOn)
            return VoiceResult::Failed;
        out.rate = rate;
        out.samples.resize(text.size() * kSamplesPerUnit);
        for (size_t i = 0; i < out.samples.size(); ++i)
            out.samples[i] = static_cast<int16_t>(i % 40 < 20 ? 3000 : -3000);
        return VoiceResult::Spoken;
    }

    bool available = true;
    bool chinese = true, english = true;
    std::u16string failOn;  // a text it cannot say
    uint32_t rate = 22050;
    std::vector<std::pair<std::u16string, SpokenLanguage>> said;
};
