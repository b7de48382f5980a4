#pragma once

// The manual's Bus Monitor: the traffic of the registers page reading continuously, with one
// spoilt answer, one the drive kept back and one refusal among it.

#include <QWidget>

#include <functional>

namespace kestova {
class CMainDlg;
namespace sim {
class DriveSimulator;
}
} // namespace kestova

// The window must be connected to `drive`, a model with the register window.
bool ShootBusMonitor(kestova::CMainDlg& window, kestova::sim::DriveSimulator& drive,
                     const std::function<bool(const char* name, QWidget* what)>& save);
