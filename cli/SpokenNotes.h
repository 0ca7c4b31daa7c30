// What the command says of a third or fourth generation player's spoken names (VoiceOver): after a
// run, how many it made and why any song has none, with what to do; for --check, how many a run
// would make and the room they take. Nothing is said of a player of the first two generations.
#pragma once

#include <cstdio>
#include <string>

#include "speech/SpokenNames.h"

// "264 KB", "85.2 MB": a size as the lines show it.
std::string ShownSize(uint64_t bytes);

// After a run that wrote its database.
void PrintSpokenNames(std::FILE* out, const SpeechOutcome& speech);

// For --check; `voice`: whether espeak-ng runs here. True when a run would speak a name.
bool PrintSpokenForecast(std::FILE* out, const SpeechOutcome& speech, bool voice);
