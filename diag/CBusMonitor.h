#pragma once

// Diagnostics -> Bus Monitor: the frames on the line and the counters per station, from the
// link's tap. The tap goes on when the page first shows and stays on, so the log holds the
// traffic of every page; the log is drained and drawn a few times a second, never per frame.

#include "BusMonitor.h"

#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace kestova {

class BusLogModel;
class Presenter;
class ProgramState;

class CBusMonitor : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 250;

    CBusMonitor(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr,
                std::size_t capacity = BusMonitor::kDefaultCapacity);
    ~CBusMonitor() override;

    // Takes what came since the last refresh into the log and the counters (the timer calls it).
    void Refresh();
    void SaveLog();

    const BusMonitor& Monitor() const { return monitor_; }
    // The tap the page puts on the link; benchmarks feed it directly.
    KtTap& Tap() { return monitor_; }
    QTableWidget* CountersTable() const { return counters_; }
    QTreeView* LogView() const { return log_; }
    QLabel* StatusLabel() const { return status_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* SaveButton() const { return save_; }
    QComboBox* StationFilter() const { return station_; }
    QComboBox* VerdictFilter() const { return verdict_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ApplyFilter();
    void ShowCounters();
    void Clear();

    ProgramState& state_;
    Presenter& presenter_;
    BusMonitor monitor_;
    bool tapped_ = false;
    BusLogModel* model_ = nullptr;
    QTableWidget* counters_ = nullptr;
    QTreeView* log_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* save_ = nullptr;
    QComboBox* station_ = nullptr;
    QComboBox* verdict_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer timer_;
};

} // namespace kestova
