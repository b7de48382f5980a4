// What the program remembers for the person between runs (the window's size and place, the
// motion test's choices) lives in the user's configuration folder, ~/.config/Kestova/Kestova.ini:
// the program's own folder may be read-only, and Settings.ini there belongs to the installation.

#pragma once

#include <QSettings>

namespace kestova {

inline QSettings UserSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Kestova", "Kestova");
}

} // namespace kestova
