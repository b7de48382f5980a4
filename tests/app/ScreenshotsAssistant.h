#pragma once

// The tuning assistant at work on the simulated servo drive, for the manual.

#include <QString>
#include <QWidget>

#include <functional>

namespace kestova {
class CMainDlg;
}

// Connects the window to a simulated servo drive of its own and runs the whole sequence: the last
// capture of each step ("tuning-assistant-current.png", "-identify.png", "-loops.png") and the
// result ("tuning-assistant-result.png"); then reverts.
bool ShootAssistant(kestova::CMainDlg& window, const QString& databasePath,
                    const std::function<bool(const char* name, QWidget* what)>& save);
