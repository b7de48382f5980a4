#pragma once

// Drive -> Tuning Assistant: the tuning sequence run for the person, each capture on the scope
// with its figures, then the parameters it changed before and after, to keep (Apply), store
// (Store) or take back (Revert). The sequence runs on a thread of its own; Stop, an alarm or a
// lost line ends it with every original value written back. The dialog only shows and asks: the
// sequencer does the talking.

#include "JournalWriter.h"
#include "TuningSequencer.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace kestova {

class Cscope;
class Presenter;
class ProgramState;

class CTuningAssistant : public QDialog {
    Q_OBJECT
public:
    // `journalPath` gives the connected drive's change journal (empty: none is kept).
    CTuningAssistant(ProgramState& state, Presenter& presenter,
                     std::function<std::string()> journalPath, QWidget* parent = nullptr);
    ~CTuningAssistant() override;

    void Start();
    void Stop();
    // After a whole sequence: keep the values in working memory, store them, or write every
    // original back.
    void Apply();
    void Store();
    void Revert();

    bool Running() const { return worker_.joinable(); }
    const std::optional<tune::TuneOutcome>& Outcome() const { return outcome_; }
    // What was left of the last sequence: "applied", "stored", "reverted", or empty while open.
    const QString& Left() const { return left_; }

    QComboBox* PlanBox() const { return plan_; }
    QComboBox* StiffnessBox() const { return stiffness_; }
    QDoubleSpinBox* DistanceBox() const { return distance_; }
    QSpinBox* SpeedBox() const { return speed_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* StoreButton() const { return store_; }
    QPushButton* RevertButton() const { return revert_; }
    Cscope* Scope() const { return scope_; }
    QLabel* StepLabel() const { return step_; }
    QLabel* FiguresLabel() const { return figures_; }
    QLabel* ResultLabel() const { return result_; }
    QTreeWidget* Changes() const { return changes_; }
    QPlainTextEdit* Log() const { return log_; }
    int CapturesShown() const { return capturesShown_; }

signals:
    // The sequence ended, however it ended (the outcome is in place).
    void sequenceEnded();
    // Apply, Store or Revert was done (Left() says which).
    void resultKept();
    // A capture of `step` (a tune::TuneStep) is on the scope.
    void captureShown(int step);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnProgress(const tune::TuneProgress& progress, std::optional<tune::TuneCapture> capture,
                    std::optional<tune::ParameterChange> change);
    void OnEnded(tune::TuneOutcome outcome);
    void ShowCapture(const tune::TuneCapture& capture);
    void ShowResult();
    void Journal(const tune::ParameterChange& change);
    void SayJournalFailure();
    void SetRunning(bool running);
    void SetResultButtons(bool on);
    void Say(const QString& line);
    std::vector<tune::TableRow> Table() const;

    ProgramState& state_;
    Presenter& presenter_;
    std::function<std::string()> journalPath_;
    std::unique_ptr<tune::TuningSequencer> sequencer_;
    std::thread worker_;
    std::unique_ptr<params::JournalWriter> journal_;
    bool journalFailureTold_ = false;
    std::optional<tune::TuneOutcome> outcome_;
    QString left_;
    int capturesShown_ = 0;

    QComboBox* plan_ = nullptr;
    QComboBox* stiffness_ = nullptr;
    QDoubleSpinBox* distance_ = nullptr;
    QSpinBox* speed_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* store_ = nullptr;
    QPushButton* revert_ = nullptr;
    Cscope* scope_ = nullptr;
    QLabel* step_ = nullptr;
    QLabel* figures_ = nullptr;
    QLabel* result_ = nullptr;
    QTreeWidget* changes_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
};

} // namespace kestova
