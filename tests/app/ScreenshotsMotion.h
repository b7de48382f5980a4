#pragma once

// The motion test page's pictures: a move, a current step and a scope-only trace on the
// simulated drive.

#include <QWidget>

#include <functional>

namespace kestova {
class CMainDlg;
}

// The window must be connected to the simulated drive with its parameters read.
bool ShootMotion(kestova::CMainDlg& window,
                 const std::function<bool(const char* name, QWidget* what)>& save);
