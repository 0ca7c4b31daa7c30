// Every text the engine and the location check show on the status line, in one place.
#pragma once

inline constexpr char16_t kMsgSearchFile[] = u"Search File: %s";
inline constexpr char16_t kMsgFile[] = u"File: %s";
inline constexpr char16_t kMsgRename[] = u"Rename: %s to %s";
inline constexpr char16_t kMsgSpeak[] = u"Speak: %s";
inline constexpr char16_t kMsgDone[] = u"完成";
inline constexpr char16_t kMsgDatabaseFailed[] = u"写入数据库失败，原数据库未改动。";
// The computer ran out of memory before the new database was in place: nothing is wrong with the
// player, and a run with more memory free goes on.
inline constexpr char16_t kMsgOutOfMemory[] = u"内存不足，原数据库未改动。";
inline constexpr char16_t kMsgReadFailed[] = u"读取文件夹失败，原数据库未改动。";
// The status line has room for one line of about twenty Chinese characters: these say what
// happened and what to do in that room; the README and the command say more.
// The new database is in place but the medium did not confirm it: safe removal writes it out.
inline constexpr char16_t kMsgNotDurable[] = u"新数据库未确认存入，请先安全弹出iPod。";
// The system removed the old database, but the new one could not take its place: it waits beside
// it, and the next run puts it there.
inline constexpr char16_t kMsgNotReplaced[] = u"新数据库存为iTunesSD.new，请再运行一次。";
// Names may have changed, but the medium failed to confirm a rename.
inline constexpr char16_t kMsgRenameFailed[] = u"改名未确认存入iPod，原数据库未改动。";
// An earlier run was cut off while renaming: a song is under two names sharing its data, and
// only the drive's own repair can part them. Nothing was changed.
inline constexpr char16_t kMsgNeedsRepair[] = u"有歌曲留下两个名字，请先检查修复iPod。";
// Done, but a cut on Windows' FAT driver left songs with no name: the drive's check saves them,
// and the next run puts them back.
inline constexpr char16_t kMsgSongsLost[] = u"有歌曲在拔出时丢失，请检查修复iPod后再运行。";
// A stop asked (Ctrl-C in the command) before the run changed anything.
inline constexpr char16_t kMsgStopped[] = u"已停止，iPod未改动。";
// Plain text, no retry: the lock failed for a reason another try does not change. %d: the
// system's error code.
inline constexpr char16_t kMsgLockFailed[] = u"无法锁定iPod（系统错误%d），原数据库未改动。";
// Shown as a link: a click tries again once the other run has ended.
inline constexpr char16_t kMsgPlayerBusy[] = u"另一个窗口正在更新iPod，请稍后点此重试。";
inline constexpr char16_t kMsgNotOnPlayer[] = u"请把本程序拷贝到iPod里再运行。";
inline constexpr char16_t kMsgFolderNotSupported[] = u"本程序不支持中文目录，您可以修改目录名。";
inline constexpr char16_t kMsgStart[] = u"开始";
// Said once after 完成 when songs of a third or fourth generation player have no spoken name: how
// many, and why. %d: the songs.
inline constexpr char16_t kMsgDoneVoiceOverOff[] = u"完成。VoiceOver已关闭，未生成语音歌名。";
inline constexpr char16_t kMsgDoneNoSynthesiser[] = u"完成。本机没有语音，%d首歌没有语音歌名。";
inline constexpr char16_t kMsgDoneNoChineseVoice[] =
    u"完成。本机没有中文语音，%d首歌没有语音歌名。";
inline constexpr char16_t kMsgDoneNoEnglishVoice[] =
    u"完成。本机没有英文语音，%d首歌没有语音歌名。";
inline constexpr char16_t kMsgDoneVoiceFailed[] = u"完成。语音出错，%d首歌没有语音歌名。";
inline constexpr char16_t kMsgDoneNoRoom[] = u"完成。iPod空间不足，%d首歌没有语音歌名。";
inline constexpr char16_t kMsgDoneWriteFailed[] = u"完成。写入iPod出错，%d首歌没有语音歌名。";
inline constexpr char16_t kMsgDoneStopped[] = u"完成。已停止，%d首歌没有语音歌名。";

// New names given to wide-named folders and MP3 files.
inline constexpr char16_t kNewFolderName[] = u"ST_DIR_%d";
inline constexpr char16_t kNewFileName[] = u"ST_FILE_%d.mp3";

// Command codes a click on the status label posts to the main window.
inline constexpr int ID_START = 100;
inline constexpr int kNoCommand = 0;
