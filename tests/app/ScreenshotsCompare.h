#pragma once

// The parameter list's marks and its comparison with a file, for the README and the manual.

#include <QWidget>

#include <functional>

namespace kestova {
class CMainDlg;
}

// Given the window connected to the simulated drive with its parameters read and the scripted
// presenter answering its dialogs: an edit that leaves its marks ("parameter-marks.png"), then a
// file that differs from the drive in three rows compared with it ("parameter-compare.png"), and
// the drive's change history once two of its rows are applied ("parameter-history.png").
bool ShootCompare(kestova::CMainDlg& window,
                  const std::function<bool(const char* name, QWidget* what)>& save);
