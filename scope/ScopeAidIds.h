#pragma once

// Context-menu commands of the scope's measuring aids, listed below the colour commands.

namespace kestova {

constexpr int ID_SCOPE_CURSORS = 1129;
constexpr int ID_SCOPE_KEEP_REFERENCE = 1130;
constexpr int ID_SCOPE_CLEAR_REFERENCE = 1131;
constexpr int ID_SCOPE_SAVE_CSV = 1132;
constexpr int ID_SCOPE_SAVE_PNG = 1133;
// Step figures off, and for channel 1 .. 4.
constexpr int ID_SCOPE_STEP_OFF = 1134;
constexpr int ID_SCOPE_STEP_CH1 = 1135;
constexpr int ID_SCOPE_STEP_CH4 = 1138;

} // namespace kestova
