#pragma once

// The alarm page: the current alarm and the alarm history, explained from the database.
// An empty page until its lists are built.

#include <QWidget>

namespace kestova {

class Presenter;
class ProgramState;

class CAlarm : public QWidget {
    Q_OBJECT
public:
    CAlarm(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);

private:
    ProgramState& state_;
    Presenter& presenter_;
};

} // namespace kestova
