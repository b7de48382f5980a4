#pragma once

// The parameter page: the identified model's parameter list with its class filter, the values
// read from and written to the drive, and the drive's store and factory-reset commands.
//
// The full read and the full download run on a worker thread that calls the transfer functions
// with a copy of the rows and posts what it finds back to this thread; only this thread touches
// the list and the progress bar. One worker at a time: a new full transfer first stops the one
// running (it finishes its register and ends).

#include "ParameterTransfer.h"

#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class QComboBox;
class QProgressBar;
namespace Ui {
class ParametersForm;
}

namespace kestova {

class CListCtrlExt;
class Presenter;
class ProgramState;

class CParameterManage : public QWidget {
    Q_OBJECT
public:
    CParameterManage(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CParameterManage() override;

    void FillClassFilter();
    void LoadParameterTable(const QString& filter);
    void ReloadAndRead();
    void ReadAllParameters();
    void DownloadAllParameters();
    void WriteOneParameter(int row);
    void WriteToDrive();
    void ResetToFactory();
    // Stops a running full transfer: it finishes the register in hand and ends.
    void StopTransfer();
    bool OpenParameterFile();
    void SaveParameterFile();

    QString TableName() const;
    CListCtrlExt* List() const;
    QComboBox* ClassFilter() const;
    QProgressBar* Progress() const;

    // The waits of a drive command and of a single write. The program's keeps the window
    // painting while it waits, with input held back and a busy cursor.
    std::function<void(std::chrono::milliseconds)> wait;

signals:
    // A full transfer ended, however it ended.
    void transferEnded(kestova::params::PassEnd end);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Transfer { Read, Download };
    void StartTransfer(Transfer kind);
    bool RunCommand(std::uint16_t commandRegister);
    // Returns once the running full transfer has ended, the window painting meanwhile.
    void WaitForTransfer();

    ProgramState& state_;
    Presenter& presenter_;
    std::unique_ptr<Ui::ParametersForm> ui_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    // Numbers the passes, so that what a stopped pass posted late is dropped.
    quint64 pass_ = 0;
    bool transferRunning_ = false; // a pass is in hand and has not posted its end
};

} // namespace kestova
