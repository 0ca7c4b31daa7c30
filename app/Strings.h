// The main window's own text; the status texts are with the engine's (Messages.h).
#pragma once

inline constexpr wchar_t kNoticeText[] =
    L"注意：\n本程序会搜索当前文件夹里所有MP3文件\n对于中文的文件名或者文件夹名会自动重命名\n"
    L"本程序仅支持iPod Shuffle";
