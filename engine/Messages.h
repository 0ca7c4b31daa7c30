// Every text the engine and the location check show on the status line, in one place.
#pragma once

inline constexpr char16_t kMsgSearchFile[] = u"Search File: %s";
inline constexpr char16_t kMsgFile[] = u"File: %s";
inline constexpr char16_t kMsgRename[] = u"Rename: %s to %s";
inline constexpr char16_t kMsgDone[] = u"完成";
inline constexpr char16_t kMsgDatabaseFailed[] = u"写入数据库失败，原数据库未改动。";
inline constexpr char16_t kMsgReadFailed[] = u"读取文件夹失败，原数据库未改动。";
// The new database is in place but the medium did not confirm it: safe removal writes it out.
inline constexpr char16_t kMsgNotDurable[] =
    u"新数据库已写入，但未确认存入iPod，请先安全弹出再拔下。";
// The system removed the old database, but the new one could not take its place: it waits beside
// it, and the next run puts it there.
inline constexpr char16_t kMsgNotReplaced[] =
    u"新数据库已写入iTunesSD.new，但未能替换原数据库，请再运行一次。";
// Names may have changed, but the medium failed to confirm a rename: safe removal, then a new run.
inline constexpr char16_t kMsgRenameFailed[] =
    u"重命名时iPod出错，原数据库未改动，请安全弹出iPod后再运行一次。";
// An earlier run was cut off while renaming: two names, %s each, share one song's data, and only
// the drive's own repair can part them. Nothing was changed.
inline constexpr char16_t kMsgNeedsRepair[] =
    u"%s和%s共用同一首歌的数据（上次运行被中断），未做任何改动。请先修复iPod："
    u"在“此电脑”中右键iPod，属性>工具>检查，然后再运行。";
// Plain text, no retry: the lock failed for a reason another try does not change. %d: the
// system's error code.
inline constexpr char16_t kMsgLockFailed[] = u"无法锁定iPod（系统错误%d），原数据库未改动。";
// Shown as a link: a click tries again once the other run has ended.
inline constexpr char16_t kMsgPlayerBusy[] = u"另一个窗口正在更新iPod，请稍后点此重试。";
inline constexpr char16_t kMsgNotOnPlayer[] = u"请把本程序拷贝到iPod里再运行。";
inline constexpr char16_t kMsgFolderNotSupported[] = u"本程序不支持中文目录，您可以修改目录名。";
inline constexpr char16_t kMsgStart[] = u"开始";

// New names given to wide-named folders and MP3 files.
inline constexpr char16_t kNewFolderName[] = u"ST_DIR_%d";
inline constexpr char16_t kNewFileName[] = u"ST_FILE_%d.mp3";

// Command codes a click on the status label posts to the main window.
inline constexpr int ID_START = 100;
inline constexpr int kNoCommand = 0;
