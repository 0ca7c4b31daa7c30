// What the engine needs of the status line on the main window: its text and click command, its
// look, and a repaint of the window behind it; and, beside the texts, where a run stands and how
// it ended, as values. The window's CLinkStatic implements it; the command's Progress prints it.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/FileSystem.h"

// The step a run is in. Speaking: the players' spoken names, after the database is written.
enum class RunPhase { Searching, Renaming, ListingTracks, Writing, Speaking };

// How a run ended, or why none could run. Everything but Done, SongsLost, DatabaseNotDurable and
// DatabaseNotReplaced leaves the old database as it was; DatabaseNotDurable has the new one in
// place, not confirmed on the medium; DatabaseNotReplaced has it complete beside the place of an
// old one the system removed.
enum class RunOutcome {
    Done,
    SongsLost,  // done, but items a cut left without a name are not on the player yet
    DatabaseNotWritten,
    OutOfMemory,  // the run ran out of memory before the database was replaced
    DatabaseNotDurable,
    DatabaseNotReplaced,
    ReadFailed,
    RenameFailed,     // the medium failed a rename's confirmation: names may have changed
    NeedsRepair,      // an item is under two names sharing its data: nothing was changed
    Stopped,          // a stop was asked before the run's first change: nothing was changed
    PlayerBusy,       // another run holds the player: worth trying again
    LockUnavailable,  // the player could not be locked at all: trying again fails the same way
    Refused,          // the location check did not accept the player
};

class IStatusLabel {
public:
    // Sets the text, then the command a click posts. Returns 1.
    virtual int SetLinkText(std::u16string_view text, int command) = 0;
    // 1: plain text; 0: underlined link with a hand pointer. Repaints nothing by itself.
    virtual int SetPlain(int plain) = 0;
    // Repaints the label's parent window with its background, so the skin shows behind the text.
    virtual void InvalidateParent() = 0;
    // Given before a progress text (and alone when the database writing begins): the step, how
    // many items it has reached (entries searched, renames tried, tracks found, tracks to write,
    // names spoken) and the name or path at hand.
    virtual void SetProgress(RunPhase phase, size_t count, std::u16string_view item) = 0;
    // Given before the text that ends a run or refuses one. `systemError` is the system's code
    // for why it failed, where one is known, else 0.
    virtual void SetOutcome(RunOutcome outcome, int systemError) = 0;
    // How many items a step will reach, once that is known (the renames, once planned).
    virtual void SetTotal(RunPhase /*phase*/, size_t /*total*/) {}
    // After each rename tried: how it ended, and the system's code when it did not end well.
    virtual void SetRenamed(std::u16string_view /*from*/, std::u16string_view /*to*/,
                            RenameResult /*result*/, int /*systemError*/) {}
    // After a chain the drive's check saved was put back under its item's name.
    virtual void SetPutBack(std::u16string_view /*from*/, std::u16string_view /*to*/) {}

protected:
    ~IStatusLabel() = default;
};
