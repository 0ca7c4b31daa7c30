// A status label for tests: records every call the engine makes, in order.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/StatusLabel.h"

class RecordingStatusLabel : public IStatusLabel {
public:
    enum class Call { Invalidate, SetPlain, SetLinkText };
    struct Event {
        Call call;
        int value;  // the flag of SetPlain, the command of SetLinkText
        std::u16string text;
    };

    int SetLinkText(std::u16string_view text, int command) override {
        events.push_back({Call::SetLinkText, command, std::u16string(text)});
        this->text = text;
        this->command = command;
        return 1;
    }
    int SetPlain(int flag) override {
        events.push_back({Call::SetPlain, flag, {}});
        plain = flag;
        return 1;
    }
    void InvalidateParent() override { events.push_back({Call::Invalidate, 0, {}}); }
    void SetProgress(RunPhase phase, size_t count, std::u16string_view item) override {
        this->phase = phase;
        this->count = count;
        this->item = item;
        ++progressReports;
    }
    void SetOutcome(RunOutcome outcome, int systemError) override {
        this->outcome = outcome;
        this->systemError = systemError;
        ++outcomes;
    }

    // The texts set, in order.
    std::vector<std::u16string> Texts() const {
        std::vector<std::u16string> texts;
        for (const auto& e : events)
            if (e.call == Call::SetLinkText)
                texts.push_back(e.text);
        return texts;
    }

    std::vector<Event> events;
    std::u16string text;
    int command = -1;
    int plain = 1;
    RunPhase phase = RunPhase::Searching;
    size_t count = 0;
    std::u16string item;
    size_t progressReports = 0;
    std::optional<RunOutcome> outcome;  // none until a run ends or the check refuses
    int systemError = -1;
    int outcomes = 0;
};
