#pragma once

// The picture of the scope's aids for the manual and the README.

#include <QWidget>

#include <functional>

namespace kestova {
class CMainDlg;
}

// With `window` connected to the simulated drive: runs a move on the motion test page, switches
// the cursors on around the rise of the speed, shows the step figures of the speed and saves
// the page as "scope-cursors.png" through `save`. False when the move or a save fails.
bool ShootScopeAids(kestova::CMainDlg& window,
                    const std::function<bool(const char* name, QWidget* what)>& save);
