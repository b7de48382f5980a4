// The parameter page's change journal: where the connected drive's journal lies, the History
// dialog over it, and undo of a run of changes.

#include "BusyCursor.h"
#include "CHistoryDialog.h"
#include "CListCtrlExt.h"
#include "CListMarks.h"
#include "CParameterManage.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ui_Parameters.h"

namespace kestova {

using namespace params;

std::string CParameterManage::JournalPathNow() const {
    // Offline, or before a drive is identified, nothing reaches a drive.
    if (state_.driveCode < 1 || state_.Link().GetCurrentUseMode() != 1) {
        return {};
    }
    return JournalPath(JournalFolder(), state_.station, state_.driveCode,
                       state_.portName.toStdString());
}

void CParameterManage::TellJournalFailure(JournalWriter& journal) {
    if (!journal.TakeNewFailure() || journalFailureTold_) {
        return;
    }
    journalFailureTold_ = true;
    presenter_.Message(this,
                       QString("The change journal %1 could not be written: %2. The drive was "
                               "written all the same; later changes are not journalled either "
                               "while this lasts.")
                           .arg(QString::fromStdString(journal.Path()),
                                QString::fromStdString(*journal.Failure())),
                       "Change Journal", MsgIcon::Warning);
}

void CParameterManage::LoadHistory() {
    const std::string path = JournalPathNow();
    history_->SetJournal(QString::fromStdString(path), ReadJournal(path));
}

void CParameterManage::ShowHistory() {
    if (JournalPathNow().empty()) {
        presenter_.Message(this, "Connect to a drive to see the changes made to it.", "History",
                           MsgIcon::Information);
        return;
    }
    if (history_ == nullptr) {
        history_ = new CHistoryDialog(this);
        connect(history_, &CHistoryDialog::undoRequested, this, &CParameterManage::UndoJournalRun);
    }
    LoadHistory();
    runHistory(*history_);
}

void CParameterManage::UndoJournalRun(std::size_t run) {
    if (history_ == nullptr || run >= history_->Runs().size()) {
        return;
    }
    WaitForTransfer(); // a full pass must not run beside the writes
    const JournalRun& chosen = history_->Runs()[run];
    const std::vector<UndoStep> plan = PlanUndo(history_->Journal().entries, chosen);
    const MsgResult answer = presenter_.Message(
        this,
        QString("Give the %1 parameter(s) changed by run %2 (%3, %4) back the values they had "
                "before it?")
            .arg(plan.size())
            .arg(run + 1)
            .arg(QString::fromStdString(chosen.source), QString::fromStdString(chosen.time)),
        "Undo", MsgIcon::Question, MsgButtons::YesNo, MsgResult::No);
    if (answer != MsgResult::Yes) {
        return;
    }
    const TableLoad table = LoadParameterRows(state_.Db(), TableName().toStdString(), "All");
    if (table.status != LoadStatus::Ok) {
        // Without the whole table no parameter could be told from a row it lacks.
        presenter_.Message(this,
                           QString("The parameter table could not be read: %1. Nothing was "
                                   "written.")
                               .arg(QString::fromStdString(table.errorDescription)),
                           "Undo", MsgIcon::Error);
        return;
    }
    JournalWriter journal(JournalPathNow(), "undo");
    UndoReport report;
    {
        const BusyCursor busy;
        report = UndoRun(state_.Link(), state_.station, table.rows, history_->Journal().entries,
                         chosen, journal, wait);
    }
    TellJournalFailure(journal);

    // What was given back is in working memory only, as any write is.
    CListCtrlExt* list = ui_->id1039;
    for (const UndoStep& step : report.steps) {
        if (step.back.empty()) {
            continue;
        }
        for (int row = 0; row < list->RowCount(); ++row) {
            if (list->CellText(row, kNumberColumn).toStdString() == step.number) {
                marks_->MarkWritten(row);
            }
        }
    }
    const int undone = report.Count(UndoOutcome::Undone);
    if (report.Whole()) {
        presenter_.Message(this,
                           QString("%1 parameter(s) are back to their values before run %2. They "
                                   "are in the drive's working memory: Write to Drive stores "
                                   "them.")
                               .arg(undone)
                               .arg(run + 1),
                           "Undo", MsgIcon::Information);
    } else {
        QStringList lines;
        for (const UndoStep& step : report.steps) {
            if (step.outcome != UndoOutcome::Undone) {
                lines << QString::fromStdString(UndoStepText(step));
            }
        }
        presenter_.Message(this,
                           QString("%1 of %2 parameter(s) are back to their values before run "
                                   "%3. These were not:\n")
                                   .arg(undone)
                                   .arg(report.steps.size())
                                   .arg(run + 1) +
                               lines.join('\n'),
                           "Undo", MsgIcon::Warning);
    }
    LoadHistory();
    ReloadAndRead();
}

} // namespace kestova
