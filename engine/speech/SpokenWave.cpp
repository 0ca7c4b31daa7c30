#include "speech/SpokenWave.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeadSize = 44;  // RIFF, WAVE, a 16-byte fmt chunk, the data chunk's head
// The chunk after the sound: LIST of INFO holding ISFT (the software), "Zorbel" with its
// terminator and the pad byte that keeps chunks on even offsets.
constexpr uint8_t kMark[] = {'L', 'I', 'S', 'T', 20, 0, 0,   0,   'I', 'N', 'F', 'O', 'I', 'S',
                             'F', 'T', 7,   0,   0,  0, 'Z', 'o', 'r', 'b', 'e', 'l', 0,   0};

void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}
void Put32(uint8_t* at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}
uint32_t Get16(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8;
}
uint32_t Get32(const uint8_t* at) {
    return Get16(at) | Get16(at + 2) << 16;
}

}  // namespace

static_assert(sizeof kMark == kWaveMarkSize, "a file's end is compared with the whole chunk");

uint64_t SpokenWaveSize(size_t samples) {
    return kHeadSize + 2 * uint64_t(samples) + sizeof kMark;
}

std::vector<uint8_t> SpokenWaveBytes(const SpokenSound& sound) {
    const size_t samples = sound.samples.size();
    std::vector<uint8_t> bytes(static_cast<size_t>(SpokenWaveSize(samples)));
    uint8_t* out = bytes.data();
    const auto data = static_cast<uint32_t>(2 * samples);
    std::memcpy(out, "RIFF", 4);
    Put32(out + 4, static_cast<uint32_t>(bytes.size() - 8));
    std::memcpy(out + 8, "WAVEfmt ", 8);
    Put32(out + 16, 16);
    Put16(out + 20, 1);  // PCM
    Put16(out + 22, 1);  // mono
    Put32(out + 24, sound.rate);
    Put32(out + 28, sound.rate * 2);
    Put16(out + 32, 2);   // bytes a sample
    Put16(out + 34, 16);  // bits a sample
    std::memcpy(out + 36, "data", 4);
    Put32(out + 40, data);
    for (size_t i = 0; i < samples; ++i)
        Put16(out + kHeadSize + 2 * i, static_cast<uint16_t>(sound.samples[i]));
    std::memcpy(out + kHeadSize + data, kMark, sizeof kMark);
    return bytes;
}

bool IsZorbelWave(const uint8_t* head, const uint8_t* tail, uint64_t size) {
    if (size < kHeadSize + sizeof kMark || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVEfmt ", 8) != 0 || std::memcmp(head + 36, "data", 4) != 0)
        return false;
    return Get32(head + 4) == size - 8 && Get32(head + 40) == size - kHeadSize - sizeof kMark &&
           std::memcmp(tail, kMark, kWaveMarkSize) == 0;
}

bool ReadSpokenWave(const uint8_t* bytes, size_t size, SpokenSound& out) {
    if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return false;
    bool format = false;
    for (size_t at = 12; size - at >= 8;) {
        const uint32_t length = Get32(bytes + at + 4);
        const uint8_t* body = bytes + at + 8;
        const size_t room = size - at - 8;
        if (std::memcmp(bytes + at, "fmt ", 4) == 0) {
            if (length < 16 || room < 16 || Get16(body) != 1 || Get16(body + 2) != 1 ||
                Get16(body + 14) != 16)
                return false;
            out.rate = Get32(body + 4);
            format = true;
        } else if (std::memcmp(bytes + at, "data", 4) == 0) {
            if (!format)
                return false;
            // A stream's header gives no length: the samples run to the end.
            const size_t count = std::min<size_t>(length, room) / 2;
            out.samples.resize(count);
            for (size_t i = 0; i < count; ++i)
                out.samples[i] = static_cast<int16_t>(Get16(body + 2 * i));
            return true;
        }
        if (length > room)
            return false;
        at += 8 + length + (length & 1);
    }
    return false;
}
