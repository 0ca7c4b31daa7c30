// Names between the disk and the engine: UTF-8 bytes on disk, UTF-16 units in the engine. A byte
// that is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF and turns back into the
// same byte, so every name on disk has exactly one engine name and back. Such a name counts as
// wide, so an MP3 file with it gets a plain new name.
#pragma once

#include <string>
#include <string_view>

// Never fails: every byte string has an engine name.
std::u16string NameFromHost(std::string_view bytes);

// The bytes for an engine name; false for a unit no name on disk can give (a lone surrogate
// outside the escapes, or an escape that is no byte of its own), so no wrong file is touched.
bool NameToHost(std::u16string_view name, std::string& bytes);
// The same, added to the end of `bytes`; on false, `bytes` may hold part of the name.
bool AppendNameToHost(std::u16string_view name, std::string& bytes);

// A backslash in a name on disk: the engine takes a backslash for a separator, so the byte is
// carried as this unit, which no valid UTF-8 decodes to.
inline constexpr char16_t kBackslashUnit = 0xDC5C;
