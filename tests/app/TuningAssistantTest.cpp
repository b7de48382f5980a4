// Drive -> Tuning Assistant against the simulated servo drive on a real pseudo-terminal: a whole
// sequence shown capture by capture, its result kept or taken back, and a Stop that puts every
// original value back.

#include "CTuningAssistant.h"
#include "ChangeJournal.h"
#include "SimulatedDriveFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <map>

namespace {

using kestova::CTuningAssistant;
using kestova::MsgIcon;
using kestova::tune::TuneEnd;

constexpr int kServo = 21; // a servo whose table has its motor's torque constant and inertia

class TuningAssistant : public SimulatedDriveFixture {
protected:
    void SetUp() override {
        LaunchDrive(kServo, 320);
        ConnectAndRead();
        presenter.Clear();
        before = DriveValues();
        window->OnCommand(kestova::res::ID_DRIVE_TUNING);
        assistant = window->TuningAssistant();
        ASSERT_NE(assistant, nullptr);
        ASSERT_TRUE(assistant->isVisible());
    }
    // A sequence takes seconds of the drive's own time: waited for with a bound of its own.
    static bool WaitLong(const std::function<bool()>& cond) {
        QDeadlineTimer deadline(120000);
        while (!cond()) {
            if (deadline.hasExpired()) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    std::map<int, int> before;
    CTuningAssistant* assistant = nullptr;
};

TEST_F(TuningAssistant, aWholeSequenceShowsEveryCaptureAndRevertPutsEveryValueBack) {
    QSignalSpy ended(assistant, &CTuningAssistant::sequenceEnded);
    assistant->StartButton()->click();
    EXPECT_FALSE(assistant->StartButton()->isEnabled());
    ASSERT_TRUE(WaitLong([&] { return ended.count() == 1; }));
    ASSERT_TRUE(assistant->Outcome());
    const kestova::tune::TuneOutcome& outcome = *assistant->Outcome();
    ASSERT_EQ(outcome.end, TuneEnd::Done) << outcome.message;
    EXPECT_EQ(assistant->CapturesShown(), outcome.captures);
    EXPECT_LE(outcome.captures, 12);
    ASSERT_FALSE(outcome.changes.empty());
    EXPECT_EQ(assistant->Changes()->topLevelItemCount(), static_cast<int>(outcome.changes.size()));
    EXPECT_TRUE(presenter.Messages().isEmpty());
    // The tuned values are in the drive, and journalled as the tuner's.
    for (const auto& change : outcome.changes) {
        EXPECT_EQ(DriveValue(change.address), change.after) << change.number;
    }
    const auto journal =
        kestova::params::ReadJournal(window->ParametersPage()->JournalPathNow()).entries;
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().source, "tune");

    ASSERT_TRUE(assistant->RevertButton()->isEnabled());
    assistant->RevertButton()->click();
    EXPECT_EQ(assistant->Left(), "reverted");
    EXPECT_EQ(DriveValues(), before);
    EXPECT_FALSE(assistant->StoreButton()->isEnabled());
}

TEST_F(TuningAssistant, aStopDuringTheSequenceWritesEveryOriginalBackAndSaysSo) {
    QSignalSpy ended(assistant, &CTuningAssistant::sequenceEnded);
    assistant->StartButton()->click();
    // Stopped once the gains have been changed and a capture is on screen.
    ASSERT_TRUE(WaitLong([&] { return assistant->CapturesShown() >= 2; }));
    assistant->StopButton()->click();
    ASSERT_TRUE(WaitLong([&] { return ended.count() == 1; }));
    ASSERT_TRUE(assistant->Outcome());
    EXPECT_EQ(assistant->Outcome()->end, TuneEnd::Stopped);
    EXPECT_TRUE(assistant->Outcome()->restored);
    EXPECT_EQ(DriveValues(), before);
    const auto messages = presenter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].caption, "Tuning Assistant");
    EXPECT_EQ(messages[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(messages[0].text.endsWith("Every original value was written back."))
        << messages[0].text.toStdString();
    EXPECT_FALSE(assistant->ApplyButton()->isEnabled());
}

} // namespace
