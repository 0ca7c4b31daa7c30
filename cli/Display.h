// How the command shows names and paths. Every path it prints, the player's own mount path
// included, goes through DisplayPath, so no name on the player can drive the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text with every control character (C0, DEL, C1, and a stray byte in the C1 range) shown as
// its octal escape ("\033"), as ls shows names: a name on the player can neither move the cursor
// nor split a line. Everything else is kept byte for byte.
std::string EscapeControls(std::string_view text);

// A path on this system (its bytes) as the command prints it.
std::string DisplayPath(std::string_view hostPath);

// An engine text with the player's real paths: "P:\Music\a.mp3" -> "<top>/Music/a.mp3", names
// as their bytes on disk, the whole through DisplayPath.
std::string DisplayText(std::u16string_view text, std::u16string_view drive,
                        const std::string& top);
void AppendDisplayText(std::u16string_view text, std::u16string_view drive, const std::string& top,
                       std::string& out);

// A name for the progress line: as DisplayText shows it, but a byte that is no UTF-8 shows as
// '?', so the line never breaks the terminal's display.
std::string TerminalText(std::u16string_view text);

// A printed path as one word of a command the user may copy: quoted for the shell when it holds
// anything but letters, digits and / . _ - + , : @ %.
std::string ShellWord(const std::string& shown);

// The player as the command shows it.
struct ShownPlayer {
    std::u16string drive;  // the engine's name for the player ("P:")
    std::string top;       // its top folder on this system
    std::string folder;    // the folder the run is given, as the user finds it
};

// An engine path ("P:\Music\a.mp3") as the user finds it.
std::string ShownPath(const ShownPlayer& player, std::u16string_view path);
// A player path ("/Music/a.mp3") as the user finds it.
std::string ShownPlayerPath(const ShownPlayer& player, std::u16string_view playerPath);
