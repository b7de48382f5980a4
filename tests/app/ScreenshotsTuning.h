#pragma once

// The manual's tuning walk-through, loop by loop from the inside out: a current step at low gains
// and at the drive's own (drawn over the low one kept as reference), then a move with a low and a
// higher speed-loop gain and one with a low and a higher position-loop gain.

#include <QWidget>

#include <functional>

namespace kestova {
class CMainDlg;
}

// The window must be connected to the simulated stepper drive with its parameters read. The
// gains are left as the drive had them.
bool ShootTuning(kestova::CMainDlg& window,
                 const std::function<bool(const char* name, QWidget* what)>& save);
