#pragma once

// A diagnostics page: one drive-internal register, read once or every 300 ms through the drive's
// register window. The page does not ask whether the drive has the window; the main window does
// before it shows the page.

#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class RegistersForm;
}

namespace kestova {

class Presenter;
class ProgramState;

class CRegisterMonitor : public QWidget {
    Q_OBJECT
public:
    CRegisterMonitor(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CRegisterMonitor() override;

    // One read of the register; it stops the timer unless the page reads continuously.
    void ReadRegister();

    // True while the timer runs.
    bool Polling() const { return timer_.isActive(); }

private:
    void Tick();

    ProgramState& state_;
    Presenter& presenter_;
    std::unique_ptr<Ui::RegistersForm> ui_;
    QTimer timer_;
    bool busy_ = false;
};

} // namespace kestova
