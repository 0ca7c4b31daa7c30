// What the engine needs of the status line on the main window: its text and click command, its
// look, and a repaint of the window behind it. The window's CLinkStatic implements it.
#pragma once

#include <string_view>

class IStatusLabel {
public:
    // Sets the text, then the command a click posts. Returns 1.
    virtual int SetLinkText(std::u16string_view text, int command) = 0;
    // 1: plain text; 0: underlined link with a hand pointer. Repaints nothing by itself.
    virtual int SetPlain(int plain) = 0;
    // Repaints the label's parent window with its background, so the skin shows behind the text.
    virtual void InvalidateParent() = 0;

protected:
    ~IStatusLabel() = default;
};
