// A spoken name as the player takes it: a RIFF WAVE file of 16-bit mono PCM at 16 or 22.05 kHz.
// Zorbel's own files end in a chunk that names Zorbel as the software that made them (a LIST
// INFO chunk with ISFT), after the sound: a player reads the sound by its data chunk and never
// gets there, and a later run knows by it which files it may remove.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What a voice gives: samples at a rate.
struct SpokenSound {
    uint32_t rate = 0;
    std::vector<int16_t> samples;
};

// The rates the players take.
inline bool PlayerRate(uint32_t rate) {
    return rate == 16000 || rate == 22050;
}

// The longest spoken name a run writes, in seconds: a voice that says more is cut there.
inline constexpr uint32_t kLongestSpokenSeconds = 10;

// The file's length for that many samples.
uint64_t SpokenWaveSize(size_t samples);
// The file's bytes: header, samples (little-endian), Zorbel's chunk.
std::vector<uint8_t> SpokenWaveBytes(const SpokenSound& sound);

// How many bytes at a file's end tell whether Zorbel made it.
inline constexpr size_t kWaveMarkSize = 28;
// Whether a file of `size` bytes, whose first 44 bytes are `head` and last kWaveMarkSize bytes
// `tail`, is a spoken name as Zorbel writes them: its header's lengths fit the file, and it ends
// in Zorbel's chunk.
bool IsZorbelWave(const uint8_t* head, const uint8_t* tail, uint64_t size);

// The sound of a WAVE file of 16-bit mono PCM, as a voice program writes it: the header's lengths
// may be left unknown (a stream's), the samples then run to the end. False for any other file.
bool ReadSpokenWave(const uint8_t* bytes, size_t size, SpokenSound& out);
