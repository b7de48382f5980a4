#pragma once

// The scope's own numbers: its context-menu commands, their preset colours, and what it posts
// to its parent.

#include "WindowMessage.h"

#include <QColor>
#include <QEvent>

namespace kestova {

// Context-menu commands, in menu order.
constexpr int ID_SCOPE_BGCOLOR = 1124;
constexpr int ID_SCOPE_CH1COLOR = 1125;
constexpr int ID_SCOPE_CH2COLOR = 1126;
constexpr int ID_SCOPE_CH3COLOR = 1127;
constexpr int ID_SCOPE_CH4COLOR = 1128;

struct ScopeColorCommand {
    int id;
    const char* text;
    int channel;          // 0: the plot background
    int red, green, blue; // preselected in the colour dialog, whatever the current colour
};

constexpr ScopeColorCommand kScopeColorCommands[] = {
    {ID_SCOPE_BGCOLOR, "BG color", 0, 255, 0, 0},
    {ID_SCOPE_CH1COLOR, "Channel 1 color", 1, 196, 8, 21},
    {ID_SCOPE_CH2COLOR, "Channel 2 color", 2, 0, 64, 0},
    {ID_SCOPE_CH3COLOR, "Channel 3 color", 3, 128, 0, 255},
    {ID_SCOPE_CH4COLOR, "Channel 4 color", 4, 0, 0, 255},
};

// After every left-button release the scope tells its parent, as a press on a caption
// (message 0x00A1, hit-test code 2) would. Qt numbers its own events below QEvent::User and
// 0x00A1 is one of them (a graphics-scene hover move), so the message travels as
// QEvent::User + 0x00A1 to stay out of Qt's way.
constexpr unsigned WM_NCLBUTTONDOWN = 0x00A1;
constexpr unsigned HTCAPTION = 2;
constexpr unsigned WM_SCOPE_NCLBUTTONDOWN = QEvent::User + WM_NCLBUTTONDOWN;

// A colour as it crosses a message: 0x00BBGGRR.
constexpr qintptr ColorRef(int red, int green, int blue) {
    return static_cast<qintptr>((blue & 0xFF) << 16 | (green & 0xFF) << 8 | (red & 0xFF));
}
inline qintptr ColorRef(const QColor& c) {
    return ColorRef(c.red(), c.green(), c.blue());
}

} // namespace kestova
