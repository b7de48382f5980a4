#pragma once

// A diagnostics page: single registers of the drive, watched through its register window. Empty
// until it is built.

#include <QWidget>

namespace kestova {

class Presenter;
class ProgramState;

class CRegisterMonitor : public QWidget {
    Q_OBJECT
public:
    CRegisterMonitor(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

private:
    ProgramState& state_;
    Presenter& presenter_;
};

} // namespace kestova
