// UTF-16 text helpers shared by the engine: the name tests, player paths and message formatting.
// All text is std::u16string, one char16_t per code unit, so unit counts match Windows exactly.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// True when the name holds a code unit above 0x00FF (Latin-1 letters do not count; surrogates do).
bool HasWideUnits(std::u16string_view name);

// True when the last three units of the path are "mp3", folding ASCII A-Z only; no dot needed.
// A path shorter than three units is compared whole, so it never matches.
bool EndsWithMp3(std::u16string_view path);

// "E:\Music\a.mp3" -> "/Music/a.mp3": drop the drive's two units, backslashes become slashes.
std::u16string ToPlayerPath(std::u16string_view fullPath);
// The other way: "/Music/a.mp3" on drive "E:" -> "E:\Music\a.mp3".
std::u16string FromPlayerPath(std::u16string_view drive, std::u16string_view playerPath);

// "." and "..", which every listing but a drive's top folder yields.
inline bool IsDotEntry(std::u16string_view name) {
    return name == u"." || name == u"..";
}

// Folder path, one backslash, entry name.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Where the last component of a path begins: the unit after the last backslash, or 0.
size_t FileNameOffset(std::u16string_view path);

// Fills each "%s" of the format with the next argument and each "%d" with the next number.
std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> texts);
std::u16string FormatNumber(std::u16string_view format, int number);

// How many bytes the UTF-8 sequence that `lead` begins takes; 0 for a byte no sequence begins
// with (a continuation byte, an overlong lead, one past U+10FFFF).
inline size_t Utf8Length(unsigned char lead) {
    return lead < 0x80   ? 1
           : lead < 0xC2 ? 0
           : lead < 0xE0 ? 2
           : lead < 0xF0 ? 3
           : lead < 0xF5 ? 4
                         : 0;
}

// ASCII-only case folding, as the file system compares names.
char16_t FoldAscii(char16_t unit);
// The name with ASCII A-Z folded, as a key that compares the way the file system does.
std::u16string FoldedName(std::u16string_view name);
bool EqualsFolded(std::u16string_view a, std::u16string_view b);
// Whether the path lies somewhere inside the folder, names compared as the file system does.
bool IsUnder(std::u16string_view path, std::u16string_view folder);
