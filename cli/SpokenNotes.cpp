#include "SpokenNotes.h"

#include <string.h>

#include "Strings.h"

namespace {

std::string Songs(size_t count) {
    return Counted(count, "song", "songs");
}

}  // namespace

std::string ShownSize(uint64_t bytes) {
    char text[32];
    if (bytes < 1000 * 1000)
        std::snprintf(text, sizeof text, "%llu KB", (unsigned long long)((bytes + 999) / 1000));
    else if (bytes < 1000ull * 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    else
        std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    return text;
}

void PrintSpokenNames(std::FILE* out, const SpeechOutcome& speech) {
    if (!speech.later)
        return;
    if (speech.voiceOverOff) {
        std::fputs(kSpokenOff, out);
        return;
    }
    std::string more = speech.turnedOn ? kSpokenTurnedOn : "";
    if (speech.removed)
        more += FormatLine(kSpokenRemoved, Counted(speech.removed, "file", "files"));
    std::fprintf(out, kSpokenMade, Counted(speech.spoken, "name", "names").c_str(),
                 ShownSize(speech.written).c_str(), speech.had, more.c_str());
    const char* const lines[kUnspokenKinds] = {
        kUnspokenNoProgram, kUnspokenNoChinese,   kUnspokenNoEnglish, kUnspokenFailed,
        kUnspokenNoRoom,    kUnspokenWriteFailed, kUnspokenStopped};
    for (size_t why = 0; why < kUnspokenKinds; ++why) {
        const size_t count = speech.unspoken[why];
        if (!count)
            continue;
        const std::string songs = Songs(count);
        switch (static_cast<Unspoken>(why)) {
            case Unspoken::NoRoom:
                std::fprintf(out, lines[why], songs.c_str(), ShownSize(speech.needed).c_str(),
                             ShownSize(speech.free).c_str());
                break;
            case Unspoken::WriteFailed:
                std::fprintf(
                    out, lines[why], songs.c_str(),
                    Reason(speech.systemError ? strerror(speech.systemError) : "").c_str());
                break;
            default:
                std::fprintf(out, lines[why], songs.c_str());
                break;
        }
    }
}

bool PrintSpokenForecast(std::FILE* out, const SpeechOutcome& speech, bool voice) {
    if (!speech.later)
        return false;
    if (speech.voiceOverOff) {
        std::fputs(kCheckSpokenOff, out);
        return false;
    }
    const size_t without = speech.toSpeak;
    if (speech.Count(Unspoken::NoRoom)) {
        std::fprintf(out, kCheckSpokenNoRoom, speech.had, speech.songs, without,
                     ShownSize(speech.needed).c_str(), ShownSize(speech.free).c_str());
        return false;
    }
    std::string more = speech.turnedOn ? kCheckSpokenTurnsOn : "";
    if (speech.removed)
        more += FormatLine(kCheckSpokenRemoves, Counted(speech.removed, "file", "files"));
    if (!without) {
        std::fprintf(out, kCheckSpokenAll, speech.songs, more.c_str());
        return false;
    }
    std::string room = "about " + ShownSize(speech.needed);
    if (speech.free)
        room += ", " + ShownSize(speech.free) + " free";
    std::fprintf(out, kCheckSpoken, speech.had, speech.songs,
                 Counted(without, "name", "names").c_str(), room.c_str(), more.c_str());
    if (without && !voice)
        std::fputs(kCheckSpokenNoProgram, out);
    return without && voice;
}
