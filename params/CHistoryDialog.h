#pragma once

// The change journal of the connected drive: every value written to it, from what and by which
// run, and whether it has been stored. The person picks a run to undo; the page does the writing,
// asked through the dialog's signal.

#include "ChangeJournal.h"
#include "ChangeUndo.h"

#include <QDialog>

#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kestova {

class CHistoryDialog : public QDialog {
    Q_OBJECT
public:
    explicit CHistoryDialog(QWidget* parent = nullptr);

    // Shows the journal at `path` as read; newest entry last, and in view.
    void SetJournal(const QString& path, const params::JournalRead& read);

    const std::vector<params::JournalRun>& Runs() const { return runs_; }
    const params::JournalRead& Journal() const { return read_; }
    // The run of the selected entry, if it changed a value.
    std::optional<std::size_t> SelectedRun() const;

    QTreeWidget* Entries() const { return entries_; }
    QLabel* Heading() const { return heading_; }
    QPushButton* UndoLastButton() const { return undoLast_; }
    QPushButton* UndoRunButton() const { return undoRun_; }

signals:
    void undoRequested(std::size_t run);

private:
    void UpdateButtons();

    QLabel* heading_ = nullptr;
    QTreeWidget* entries_ = nullptr;
    QPushButton* undoLast_ = nullptr;
    QPushButton* undoRun_ = nullptr;
    params::JournalRead read_;
    std::vector<params::JournalRun> runs_;
    std::vector<std::size_t> runOf_; // per entry
};

} // namespace kestova
