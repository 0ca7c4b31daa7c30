#include "speech/SpokenText.h"

#include "base/Messages.h"
#include "base/Text.h"

namespace {

bool IsChinese(uint32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3134F);
}

}  // namespace

size_t SpeechOutcome::Unspokens() const {
    size_t total = 0;
    for (size_t count : unspoken)
        total += count;
    return total;
}

Unspoken SpeechOutcome::MainReason() const {
    size_t most = 0;
    for (size_t i = 1; i < kUnspokenKinds; ++i)
        most = unspoken[i] > unspoken[most] ? i : most;
    return static_cast<Unspoken>(most);
}

std::u16string DoneText(const SpeechOutcome& outcome) {
    if (outcome.voiceOverOff)
        return kMsgDoneVoiceOverOff;
    const size_t unspoken = outcome.Unspokens();
    if (unspoken == 0)
        return kMsgDone;
    static const char16_t* const kTexts[kUnspokenKinds] = {
        kMsgDoneNoSynthesiser, kMsgDoneNoChineseVoice, kMsgDoneNoEnglishVoice, kMsgDoneVoiceFailed,
        kMsgDoneNoRoom,        kMsgDoneWriteFailed,    kMsgDoneStopped};
    Unspoken why = outcome.MainReason();
    // No voice for either language is no voice at all.
    if (outcome.Count(Unspoken::NoChineseVoice) && outcome.Count(Unspoken::NoEnglishVoice))
        why = Unspoken::NoSynthesiser;
    return FormatNumber(kTexts[static_cast<size_t>(why)], static_cast<int>(unspoken));
}

uint64_t PathSpokenId(std::u16string_view playerPath) {
    // FNV-1a over the path as the file system compares names, so a song whose name's letter case
    // changed keeps its id.
    uint64_t id = 14695981039346656037ull;
    for (char16_t unit : playerPath) {
        unit = unit == u'\\' ? u'/' : FoldAscii(unit);
        id = (id ^ (unit & 0xFF)) * 1099511628211ull;
        id = (id ^ (unit >> 8)) * 1099511628211ull;
    }
    return id ? id : 1;
}

std::u16string SpokenFileName(uint64_t id) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string name(16, u'0');
    for (int i = 15; i >= 0; --i, id >>= 4)
        name[static_cast<size_t>(i)] = kDigits[id & 0xF];
    return name + u".wav";
}

bool SpokenFileId(std::u16string_view name, uint64_t& id) {
    if (name.size() != 20 || !EqualsFolded(name.substr(16), u".wav"))
        return false;
    id = 0;
    for (size_t i = 0; i < 16; ++i) {
        char16_t c = FoldAscii(name[i]);
        int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
        if (digit < 0)
            return false;
        id = id << 4 | static_cast<unsigned>(digit);
    }
    return true;
}

SpokenLanguage NameLanguage(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (IsChinese(c))
            return SpokenLanguage::Chinese;
    }
    return SpokenLanguage::English;
}

std::u16string SpokenText(const std::u16string& title, const std::u16string& artist,
                          const std::u16string& fallback) {
    std::u16string text = title.empty() ? fallback : title;
    if (!artist.empty())
        text += (text.empty() ? u"" : u", ") + artist;
    return text;
}

std::unordered_map<std::u16string, std::u16string> RenamedFrom(
    const std::vector<std::pair<std::u16string, std::u16string>>& files,
    const std::vector<std::pair<std::u16string, std::u16string>>& folders) {
    // A folder's new name by its full path before any rename: what lies inside a folder is
    // renamed first, so each rename names its item under the old names of the folders above.
    std::unordered_map<std::u16string, std::u16string_view> folderNames;
    for (const auto& [from, to] : folders)
        folderNames.emplace(FoldedName(from), std::u16string_view(to).substr(FileNameOffset(to)));
    std::unordered_map<std::u16string, std::u16string> renamed;
    for (const auto& [from, to] : files) {
        std::u16string now;
        for (size_t start = 0, end = 0; end < to.size(); start = end + 1) {
            end = std::min(to.find(u'\\', start), to.size());
            std::u16string_view name = std::u16string_view(to).substr(start, end - start);
            auto folder = end < to.size() ? folderNames.find(FoldedName(to.substr(0, end)))
                                          : folderNames.end();
            now += start ? u"\\" : u"";
            now += folder == folderNames.end() ? name : folder->second;
        }
        renamed[FoldedName(now)] = from.substr(FileNameOffset(from));
    }
    return renamed;
}
