#pragma once

// The alarm page: a tab control with the drive's current alarm ("Last Error") and its alarm
// history ("Previous Error(s)"), each explained from the model database's AlarmTable. "Read" and
// "Clear" act on the page of the selected tab; nothing is read from the drive until the person
// asks, and switching tabs reads nothing.

#include "AlarmLookup.h"

#include <QRect>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QPushButton;
class QTabBar;
class QTreeWidget;
namespace Ui {
class AlarmForm;
}

namespace kestova {

class Presenter;
class ProgramState;

// Where the page puts its controls for a client area and the buttons' (kept) size. The tab pages
// are placed inside the tab control, in its own coordinates.
struct AlarmLayout {
    QRect read;
    QRect clear;
    QRect tab;
    QRect tabPage;
};
AlarmLayout LayOutAlarmPage(QSize client, QSize button);

// One tab page: a report list of "Error #", "Name", "Class" and "Suggestion".
class CAlarmList : public QWidget {
    Q_OBJECT
public:
    CAlarmList(ProgramState& state, Presenter& presenter, QWidget* parent);
    QTreeWidget* List() const { return list_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

    // Deletes all rows.
    void ClearRows();
    // Appends the code's records. notOpenText/notOpenCaption: the message when the query left no
    // record set.
    void AppendAlarm(std::int16_t code, const char* notOpenText, const char* notOpenCaption);
    // The "No error found" row, when the list is empty; then the columns fit the rows.
    void ShowNoErrorIfEmpty();
    void FitColumns();

    ProgramState& state_;
    Presenter& presenter_;

private:
    QTreeWidget* list_;
};

class CCurrentAlarm : public CAlarmList {
    Q_OBJECT
public:
    CCurrentAlarm(ProgramState& state, Presenter& presenter, QWidget* parent);
    void ReadCurrentAlarm();
};

class CHistroryAlarm : public CAlarmList {
    Q_OBJECT
public:
    CHistroryAlarm(ProgramState& state, Presenter& presenter, QWidget* parent);
    void ReadAlarmHistory();
};

class CAlarm : public QWidget {
    Q_OBJECT
public:
    CAlarm(ProgramState& state, Presenter& presenter, QWidget* parent = nullptr);
    ~CAlarm() override;

    // "Read" and "Clear" for the selected tab.
    void Read();
    void Clear();

    QTabBar* Tabs() const { return tabs_; }
    QPushButton* ReadButton() const;
    QPushButton* ClearButton() const;
    CCurrentAlarm* CurrentPage() const { return current_; }
    CHistroryAlarm* HistoryPage() const { return history_; }

    // The wait between a clear command and the read that follows. The program's keeps the window
    // painting while it waits.
    std::function<void(std::chrono::milliseconds)> wait;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    bool HistorySelected() const;
    void ShowSelectedPage();

    ProgramState& state_;
    std::unique_ptr<Ui::AlarmForm> ui_;
    QTabBar* tabs_;
    CCurrentAlarm* current_;
    CHistroryAlarm* history_;
};

} // namespace kestova
