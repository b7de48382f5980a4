#pragma once

// The parameter page: the identified model's parameter list with its class filter, the values
// read from and written to the drive, and the drive's store and factory-reset commands.
//
// The full read and the full download run on a worker thread that calls the transfer functions
// with a copy of the rows and posts what it finds back to this thread; only this thread touches
// the list and the progress bar. One worker at a time: a new full transfer first stops the one
// running (it finishes its register and ends).

#include "JournalWriter.h"
#include "ParameterFile.h"
#include "ParameterTransfer.h"

#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
namespace Ui {
class ParametersForm;
}

namespace kestova {

class CCompareDialog;
class CHistoryDialog;
class CListCtrlExt;
class CListMarks;
class Presenter;
struct FileDialogRequest;
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
    // Writes the row's value by the single-write rule, journalled as an edit of its own or as
    // part of `journal`'s run.
    void WriteOneParameter(int row);
    void WriteOneParameter(int row, params::JournalWriter& journal);
    void WriteToDrive();
    void ResetToFactory();
    // Stops a running full transfer: it finishes the register in hand and ends.
    void StopTransfer();
    // While held, what a full transfer has to say at its end waits; released, it is said. The
    // main window holds it while it reports that a file has loaded.
    void HoldTransferReports(bool hold);
    // Rows of the list whose value was not read from the drive (a failed or unfinished read, a
    // file's rows): Save As asks before it saves them.
    int RowsNotRead() const;
    bool OpenParameterFile();
    void SaveParameterFile();

    QString TableName() const;
    CListCtrlExt* List() const;
    QComboBox* ClassFilter() const;
    QProgressBar* Progress() const;

    // Beside the list: the marks of its Value cells, the search box over the whole table, and
    // the comparison of the drive with a parameter set file.
    CListMarks* Marks() const { return marks_; }
    QLineEdit* SearchBox() const { return search_; }
    QLabel* ClassHint() const;
    // Asks for a file, reads the whole table from the drive and shows the rows that differ.
    bool CompareWithFile();
    CCompareDialog* CompareDialog() const { return compare_; }
    // The ticked rows of the comparison written to the drive one by one, each read back.
    void ApplyComparedRows();
    // The drive's whole table with the ticked rows taken from the file, into a file.
    void SaveComparedRows();
    // Shows the comparison; modal in the program, tests look at it instead.
    std::function<void(QDialog&)> runCompare;

    // The change journal of the connected drive, with undo of a run of it.
    void ShowHistory();
    CHistoryDialog* HistoryDialog() const { return history_; }
    // Undoes the history's run `run` once the person agrees, and reads the list anew.
    void UndoJournalRun(std::size_t run);
    std::function<void(QDialog&)> runHistory;
    // The connected drive's journal file; empty while no drive is connected.
    std::string JournalPathNow() const;

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
    // The file dialog of parameter set files, for opening or saving.
    static FileDialogRequest ParameterFileDialog(const QString& title, bool save);
    enum class Transfer { Read, Download };
    // A pass over `rows`; `listRows` holds each one's row in the list.
    void StartTransfer(Transfer kind, params::ParameterRows rows, std::vector<int> listRows);
    void TransferDone(Transfer kind, const params::PassReport& report);
    void Report(const QString& text, const QString& caption);
    // The rows of the list that may go to the drive, once the person has agreed to leave out
    // those that may not; nothing when none is to be written.
    std::optional<std::vector<int>> RowsToDownload();
    // Asks before a file is saved with `notRead` values that are not the drive's.
    bool ConfirmSaveNotRead(int notRead);
    void SetValueRead(int row, bool read);
    QString RowName(int row) const;
    QString RowNames(const std::vector<int>& rows) const;
    bool RunCommand(std::uint16_t commandRegister);
    // Says once, the first time, that the journal could not be written.
    void TellJournalFailure(params::JournalWriter& journal);
    void LoadHistory();
    // Returns once the running full transfer has ended, the window painting meanwhile.
    void WaitForTransfer();
    // The file's rows, or nothing once the reason has been said; a file of another drive is
    // refused.
    std::optional<params::ParameterFileRead> ReadCheckedFile(const QString& path);
    void LoadDefaults();
    void OnSearchEdited(const QString& text);
    void ApplySearch(int first, int last);
    void PlaceTopStrip(int right);
    // The list shows the whole table with the drive's values, read anew unless it already does.
    void ShowWholeTable();

    ProgramState& state_;
    Presenter& presenter_;
    std::unique_ptr<Ui::ParametersForm> ui_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    // Numbers the passes, so that what a stopped pass posted late is dropped.
    quint64 pass_ = 0;
    bool transferRunning_ = false; // a pass is in hand and has not posted its end
    std::vector<int> passRows_;    // the list row of each row of the pass in hand
    std::set<int> passFailed_;     // rows of the pass in hand that were not done
    std::vector<bool> valueRead_;  // per list row: its value is the drive's, as read
    bool holdReports_ = false;
    std::vector<std::function<void()>> heldReports_;

    CListMarks* marks_ = nullptr;
    QLineEdit* search_ = nullptr;
    int classBeforeSearch_ = -1; // the class filter a search replaced; -1 while none runs
    CCompareDialog* compare_ = nullptr;
    params::ParameterRows compareFileRows_;
    QString compareFileName_;
    CHistoryDialog* history_ = nullptr;
    bool journalFailureTold_ = false;
};

} // namespace kestova
