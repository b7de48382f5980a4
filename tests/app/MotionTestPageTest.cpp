// The motion test page through the main window against the simulated drive: the Run/Stop
// button, the type guard, the channel and trigger settings, what each test writes, and the
// waves the drive's physics gives.

#include "CAlarm.h"
#include "CRunTest.h"
#include "CScopeMode.h"
#include "CTWaveMode.h"
#include "CTorqueMode.h"
#include "Cscope.h"
#include "SimulatedDriveFixture.h"
#include "UserSettings.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>

#include <algorithm>

namespace {

using kestova::MsgButtons;
using kestova::MsgIcon;
using kestova::res::ControlName;
using kestova::sim::Drive;
using kestova::sim::ModelDescription;

constexpr int kStepper = 12;
constexpr int kLater = 310;
constexpr int kEarlier = 200;
constexpr int kServo = 21;
constexpr int kServoProtocol = 320;

class MotionTestPage : public SimulatedDriveFixture {
protected:
    // The drive of a model (adjusted), connected, with the motion test page in front.
    void Open(int code, int protocol, const std::function<void(ModelDescription&)>& adjust = {}) {
        MakeProgramFolder();
        std::string error;
        auto model = kestova::sim::LoadModel(KESTOVA_DATA_MDB, code, protocol, error);
        ASSERT_TRUE(model.has_value()) << error;
        if (adjust) {
            adjust(*model);
        }
        kestova::sim::SimulatorOptions options;
        options.portName = "COM9";
        drive = std::make_unique<kestova::sim::DriveSimulator>(*model, kestova::sim::DriveOptions{},
                                                               options);
        ASSERT_TRUE(drive->Start(error)) << error;
        Start();
        ConnectAndRead();
        window->OnCommand(kestova::res::ID_CONFIG_MOTION_TEST);
        presenter.Clear();
    }

    kestova::CRunTest& Page() { return *window->MotionPage(); }
    template <class T> T* Find(QWidget* in, int id) { return in->findChild<T*>(ControlName(id)); }
    void Set(QWidget* in, int id, const QString& text) { Find<QLineEdit>(in, id)->setText(text); }
    void Choose(int list, const QString& text) {
        QComboBox* box = Find<QComboBox>(&Page(), list);
        box->setCurrentIndex(box->findText(text));
    }
    void PressRun() { Find<QPushButton>(&Page(), kestova::res::IDC_RUN)->click(); }
    void Select(int radio) { Find<QRadioButton>(&Page(), radio)->click(); }

    int Reg(int address) {
        return drive->WithDrive([address](Drive& d) {
            const auto r = d.Read(static_cast<std::uint16_t>(address), 1);
            return r.values.empty() ? -1 : static_cast<std::int16_t>(r.values[0]);
        });
    }

    // The values of a channel's last sweep, once one has been drawn since the scope was cleared.
    std::vector<float> Sweep(int channel) {
        const kestova::Cscope& scope = *Page().Scope();
        EXPECT_TRUE(WaitUntil([&] { return !scope.State().Channel(channel).samples.empty(); }));
        std::vector<float> values;
        for (const auto& point : scope.State().Channel(channel).samples) {
            values.push_back(point.y);
        }
        return values;
    }

    // Run with the drive's clock held until the capture thread has armed the drive and polled
    // it once; then `simulated` time passes at once.
    void RunHeld(std::chrono::milliseconds simulated) {
        drive->SetClockRate(0);
        PressRun();
        const auto started = drive->RequestsAnswered();
        ASSERT_TRUE(WaitUntil([&] { return drive->RequestsAnswered() >= started + 2; }));
        drive->Step(simulated);
    }

    // One test of the selected type: Run, a sweep on channel 1, Stop.
    std::vector<float> RunOnce() {
        Page().Scope()->ClearScope();
        PressRun();
        std::vector<float> sweep = Sweep(1);
        PressRun();
        return sweep;
    }
};

TEST_F(MotionTestPage, SecondPressStopsRestoresRunAndReturnsAfterTheSettle) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    PressRun();
    EXPECT_NE(Page().IsTestRunning(), 0);
    EXPECT_EQ(Find<QPushButton>(&Page(), 1022)->text(), "Stop");
    EXPECT_EQ(Page().RunBitmap(), kestova::res::IDB_RUNNING);

    QElapsedTimer clock;
    clock.start();
    PressRun();
    EXPECT_GE(clock.elapsed(), kestova::CRunTest::kStopSettle.count());
    EXPECT_EQ(Page().IsTestRunning(), 0);
    EXPECT_EQ(Find<QPushButton>(&Page(), 1022)->text(), "Run");
    EXPECT_EQ(Page().RunBitmap(), kestova::res::IDB_IDLE);
    EXPECT_EQ(Reg(0x09), 0);
}

TEST_F(MotionTestPage, OtherTypeOrPageWhileRunningIsRefused) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    PressRun();
    Select(kestova::res::IDC_TYPE_SCOPE);
    ASSERT_EQ(presenter.Messages().size(), 1);
    const kestova::MessageRequest refused = presenter.Messages()[0];
    EXPECT_EQ(refused.text, "Before you can proceed, stop motion test first!");
    EXPECT_EQ(refused.caption, "Stop Motion Test");
    EXPECT_EQ(refused.icon, MsgIcon::Error);
    EXPECT_EQ(refused.buttons, MsgButtons::Ok);
    EXPECT_TRUE(Page().MotionPage()->isVisible());
    EXPECT_FALSE(Page().ScopePage()->isVisible());
    EXPECT_TRUE(Find<QRadioButton>(&Page(), kestova::res::IDC_TYPE_MOTION)->isChecked());

    window->OnCommand(kestova::res::IDC_BTN_ALARMS);
    ASSERT_EQ(presenter.Messages().size(), 2);
    const kestova::MessageRequest stay = presenter.Messages()[1];
    EXPECT_EQ(stay.text,
              "Stop motion test first by clicking \"Stop\" button on Motion Test screen ");
    EXPECT_EQ(stay.caption, "Tarkel Velmora");
    EXPECT_EQ(stay.icon, MsgIcon::Exclamation);
    EXPECT_TRUE(Page().isVisible());
    EXPECT_FALSE(window->AlarmPage()->isVisible());
    PressRun();
}

TEST_F(MotionTestPage, ThreeChannelsOfferThreeLists) {
    ASSERT_NO_FATAL_FAILURE(
        Open(kStepper, kLater, [](ModelDescription& m) { m.channelCount = 3; }));
    const int lists[] = {1020, 1021, 1026, 1027};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(Find<QComboBox>(&Page(), lists[c])->isEnabled(), c < 3) << c;
        EXPECT_EQ(Find<QCheckBox>(&Page(), 1060 + c)->isChecked(), c < 3) << c;
    }
}

TEST_F(MotionTestPage, WithoutTriggerSupportTheCaptureRunsFree) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kEarlier));
    Choose(kestova::res::IDC_TRIGGER_SOURCE, "Velocity Feedback (RPM)");
    Find<QComboBox>(&Page(), kestova::res::IDC_TRIGGER_POLARITY)->setCurrentIndex(1);
    Set(&Page(), kestova::res::IDC_TRIGGER_LEVEL, "7");
    window->OnCommand(kestova::res::ID_CONFIG_MOTION_TEST);
    PressRun();
    const kestova::motion::CaptureSettings s = Page().MotionPage()->Settings();
    EXPECT_EQ(s.triggerSource, 0);
    EXPECT_EQ(s.triggerPolarity, 0);
    EXPECT_EQ(s.triggerLevel, 0);
    PressRun();
}

TEST_F(MotionTestPage, DistanceIsWrittenInHundredthsAndShownToOneDecimal) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Set(Page().MotionPage(), kestova::res::IDC_DISTANCE, "1.239");
    EXPECT_FALSE(Page().MotionPage()->WriteSettings());
    EXPECT_EQ(Reg(0x18), 123);
    Set(Page().MotionPage(), kestova::res::IDC_DISTANCE, "9");
    Page().MotionPage()->LoadSettings();
    EXPECT_EQ(Find<QLineEdit>(Page().MotionPage(), kestova::res::IDC_DISTANCE)->text(), "1.2");
}

TEST_F(MotionTestPage, TestCurrentIsWrittenInMilliamperes) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_CURRENT_LOOP);
    Set(Page().CurrentLoopPage(), kestova::res::IDC_TEST_CURRENT, "1.5");
    RunOnce();
    EXPECT_EQ(Reg(0x04), 1500);
    EXPECT_EQ(Page().Channels()[0], 64); // the current the read-out carries
}

TEST_F(MotionTestPage, AutoConfigurationTakesEffectAtOnce) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_CURRENT_LOOP);
    kestova::CTorqueMode* loop = Page().CurrentLoopPage();
    Find<QCheckBox>(loop, kestova::res::IDC_AUTO_CONFIGURATION)->click();
    EXPECT_EQ(Reg(0x40), 1);
    for (int id : {kestova::res::IDC_CURRENT_KP, kestova::res::IDC_CURRENT_KI,
                   kestova::res::IDC_TEST_CURRENT}) {
        EXPECT_FALSE(Find<QLineEdit>(loop, id)->isEnabled()) << id;
    }
}

// Each page says it in its own words.
TEST_F(MotionTestPage, SamplingBoxBelowOneIsSetToOne) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    const std::pair<QWidget*, QString> pages[] = {
        {Page().MotionPage(), "Invalid sampling interval value"},
        {Page().CurrentLoopPage(), "Sampling interval error"},
        {Page().ScopePage(), "Invalid sampling time error"}};
    for (const auto& [page, text] : pages) {
        presenter.Clear();
        QLineEdit* box = Find<QLineEdit>(page, kestova::res::IDC_SAMPLING);
        box->setText("25");
        box->selectAll();
        QTest::keyClick(box, Qt::Key_0);
        EXPECT_EQ(box->text(), "1");
        ASSERT_EQ(presenter.Messages().size(), 1);
        EXPECT_EQ(presenter.Messages()[0].text, text);
        EXPECT_EQ(presenter.Messages()[0].caption,
                  page == Page().MotionPage() ? "Parameter Vaidate" : "");
    }
}

TEST_F(MotionTestPage, StopWritesItsStopRegisterAfterTheCaptureEnded) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_CURRENT_LOOP);
    Page().Scope()->ClearScope();
    PressRun();
    Sweep(1); // the one read-out of the step is done
    ASSERT_TRUE(WaitUntil([&] { return !Page().CurrentLoopPage()->CaptureBusy(); }));
    EXPECT_EQ(Reg(0x02), 1);
    PressRun();
    EXPECT_EQ(Reg(0x02), 0);
}

// A stop that never reached the drive is not passed over: the test may still be running.
TEST_F(MotionTestPage, AStopTheDriveDidNotGetIsTold) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_CURRENT_LOOP);
    Page().Scope()->ClearScope();
    PressRun();
    Sweep(1);
    ASSERT_TRUE(WaitUntil([&] { return !Page().CurrentLoopPage()->CaptureBusy(); }));
    drive->Faults().Set(kestova::sim::LineFault::LostRequest, {.count = 3});
    PressRun();
    ASSERT_EQ(presenter.Messages().size(), 1);
    EXPECT_EQ(presenter.Messages()[0].text,
              "The drive did not take the current-loop test stop (register 0x02): link failure "
              "60003. The drive may still be running the test.");
    EXPECT_EQ(presenter.Messages()[0].icon, MsgIcon::Error);
    EXPECT_EQ(Reg(0x02), 1);
}

// The channels lie 0x400 words apart in the drive: a 1025th sample would be the next channel's.
TEST_F(MotionTestPage, MoreSamplesThanAChannelHoldsAreRefusedAtRun) {
    ASSERT_NO_FATAL_FAILURE(
        Open(kStepper, kLater, [](ModelDescription& m) { m.samplesPerChannel = 1025; }));
    PressRun();
    ASSERT_EQ(presenter.Messages().size(), 1);
    EXPECT_EQ(presenter.Messages()[0].text, "The drive reports 1025 samples per channel; at most "
                                            "1024 can be captured. The test was not started.");
    EXPECT_EQ(Page().IsTestRunning(), 0);
    EXPECT_EQ(Reg(0x09), 0);
}

// A setting the drive does not take ends the Run before the test's start, naming the setting;
// a value too wide for a register is not sent at all (70000 would arrive as 4464 rpm).
TEST_F(MotionTestPage, ASettingNotTakenStopsTheRunBeforeTheStart) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    struct Case {
        int type;
        int field;
        const char* value;
        const char* text;
        int startRegister; // stays 0
    };
    const Case cases[] = {
        {kestova::res::IDC_TYPE_MOTION, kestova::res::IDC_SPEED, "-20",
         "The drive refused the speed (register 0x16). The test was not started.", 0x09},
        {kestova::res::IDC_TYPE_MOTION, kestova::res::IDC_SPEED, "70000",
         "The speed 70000 does not fit in a drive register. The test was not started.", 0x09},
        {kestova::res::IDC_TYPE_CURRENT_LOOP, kestova::res::IDC_TEST_CURRENT, "30",
         "The drive refused the test current (register 0x04). The test was not started.", 0x02},
        {kestova::res::IDC_TYPE_SCOPE, kestova::res::IDC_SAMPLING, "2000",
         "The drive refused the sampling interval (register 0xD0). The test was not started.",
         0x14},
    };
    const int speed = Reg(0x16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Select(c.type);
        QWidget* sub = c.type == kestova::res::IDC_TYPE_MOTION
                           ? static_cast<QWidget*>(Page().MotionPage())
                       : c.type == kestova::res::IDC_TYPE_SCOPE
                           ? static_cast<QWidget*>(Page().ScopePage())
                           : static_cast<QWidget*>(Page().CurrentLoopPage());
        Set(sub, c.field, c.value);
        presenter.Clear();
        PressRun();
        ASSERT_EQ(presenter.Messages().size(), 1);
        EXPECT_EQ(presenter.Messages()[0].text, c.text);
        EXPECT_EQ(presenter.Messages()[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(Page().IsTestRunning(), 0);
        EXPECT_EQ(Find<QPushButton>(&Page(), kestova::res::IDC_RUN)->text(), "Run");
        EXPECT_EQ(Reg(c.startRegister), 0);
    }
    EXPECT_EQ(Reg(0x16), speed) << "the drive kept its speed";
}

// By the time the page handles a capture's message, the capture thread has armed the drive
// again and may have read the next capture; what is drawn is the capture the message was for.
// The first capture sees the drive at rest, the second a move.
TEST_F(MotionTestPage, ASweepIsDrawnFromTheCaptureItsMessageWasFor) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_SCOPE);
    Choose(kestova::res::IDC_CHANNEL_1, "Position Targeted (P)");
    Choose(kestova::res::IDC_CHANNEL_2, "--Select--");
    Set(Page().ScopePage(), kestova::res::IDC_SAMPLING, "10"); // 400 samples 1 ms apart
    drive->WithDrive([](Drive& d) {
        d.Write(0x15, {100});
        d.Write(0x16, {300});
        return d.Write(0x18, {10000});
    });
    std::vector<float> drawn;
    QObject::connect(&Page(), &kestova::CRunTest::waveDrawn, [&] {
        if (drawn.empty()) {
            for (const auto& point : Page().Scope()->State().Channel(1).samples) {
                drawn.push_back(point.y);
            }
        }
    });
    // Waits without handling the page's messages.
    auto hold = [](const std::function<bool()>& done) {
        for (int i = 0; i < 10000 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    };

    drive->SetClockRate(0);
    PressRun();
    ASSERT_TRUE(WaitUntil([&] { return Reg(0xDA) == 1; })) << "armed";
    drive->Step(std::chrono::milliseconds(500));
    ASSERT_TRUE(hold([&] { return Reg(0xDA) == 1; })) << "read out and armed again";
    drive->WithDrive([](Drive& d) { return d.Write(0x09, {1}); });
    drive->Step(std::chrono::milliseconds(500));
    ASSERT_TRUE(hold([&] { return Reg(0xDA) == 1; })) << "the move read out, armed a third time";

    ASSERT_TRUE(WaitUntil([&] { return !drawn.empty(); }));
    EXPECT_EQ(drawn.size(), 400U);
    EXPECT_TRUE(std::all_of(drawn.begin(), drawn.end(), [](float p) { return p == 0.0F; }))
        << "the move in the sweep of the drive at rest";
    PressRun();
}

// Velocity feedback triggers a one-off capture while the drive is moved by other means.
TEST_F(MotionTestPage, TriggeredCaptureOnTheScopePageIsTakenOnce) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_SCOPE);
    Choose(kestova::res::IDC_CHANNEL_1, "Velocity Feedback (RPM)");
    Choose(kestova::res::IDC_TRIGGER_SOURCE, "Velocity Feedback (RPM)");
    Set(&Page(), kestova::res::IDC_TRIGGER_LEVEL, "100");
    Page().Scope()->ClearScope();
    PressRun();
    EXPECT_EQ(Reg(0xF5), 2);
    EXPECT_EQ(Reg(0xF8), 1);
    drive->WithDrive([](Drive& d) {
        d.Write(0x16, {300});
        d.Write(0x18, {300});
        return d.Write(0x09, {1});
    });
    const std::vector<float> v = Sweep(1);
    EXPECT_GE(v.front(), 90.0F); // the capture starts where the speed crossed 100 rpm
    ASSERT_TRUE(WaitUntil([&] { return !Page().ScopePage()->CaptureBusy(); }));
    PressRun();
}

TEST_F(MotionTestPage, MoveReachesTheCommandedSpeedAndDistance) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    kestova::CTWaveMode* motion = Page().MotionPage();
    Set(motion, kestova::res::IDC_SPEED, "300");
    Set(motion, kestova::res::IDC_ACCELERATION, "100");
    Set(motion, kestova::res::IDC_DISTANCE, "1");
    Set(motion, kestova::res::IDC_SAMPLING, "10"); // 400 samples over 0.4 s
    Choose(kestova::res::IDC_CHANNEL_1, "Velocity Feedback (RPM)");
    Choose(kestova::res::IDC_CHANNEL_2, "Position Feedback (P)");
    Page().Scope()->ClearScope();
    // The move and its capture start at the same moment.
    ASSERT_NO_FATAL_FAILURE(RunHeld(std::chrono::milliseconds(500)));
    const std::vector<float> speed = Sweep(1);
    const std::vector<float> position = Sweep(2);
    PressRun();
    const int counts =
        drive->WithDrive([](Drive& d) { return d.Plant().Constants().countsPerRev; });
    // The stepper's loops ring about the commanded speed on the way.
    EXPECT_GE(*std::max_element(speed.begin(), speed.end()), 300.0F * 0.95F);
    EXPECT_NEAR(speed.back(), 0.0F, 30.0F);
    EXPECT_NEAR(position.back(), static_cast<float>(counts), counts * 0.01F);
}

// A whole move (600 rpm, 200 rev/s^2, 3 revolutions: 50 ms up, 250 ms at speed, 50 ms down) is
// one capture from its start until after it has settled, and no later capture replaces it.
TEST_F(MotionTestPage, AWholeMoveIsCapturedOnceFromItsStartAndStays) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    kestova::CTWaveMode* motion = Page().MotionPage();
    Set(motion, kestova::res::IDC_SPEED, "600");
    Set(motion, kestova::res::IDC_ACCELERATION, "200");
    Set(motion, kestova::res::IDC_DISTANCE, "3");
    Set(motion, kestova::res::IDC_SAMPLING, "1");
    motion->findChild<QCheckBox*>("wholeMove")->click();
    Choose(kestova::res::IDC_CHANNEL_1, "Velocity Feedback (RPM)");
    Page().Scope()->ClearScope();
    int drawn = 0;
    QObject::connect(&Page(), &kestova::CRunTest::waveDrawn, [&] { ++drawn; });
    PressRun();
    ASSERT_TRUE(WaitUntil([&] { return drawn == 1; }));
    const std::vector<float> speed = Sweep(1);
    // 525 ms of the move and its settle, in steps of 400 samples 100 us apart.
    EXPECT_EQ(Find<QLineEdit>(motion, kestova::res::IDC_SAMPLING)->text(), "14");
    const double msPerSample = 1.4;
    const auto at = [&](double ms) { return speed.at(static_cast<std::size_t>(ms / msPerSample)); };
    EXPECT_LT(speed.front(), 60.0F); // the start
    EXPECT_GT(at(25.0), 60.0F);      // on the ramp
    EXPECT_LT(at(25.0), 540.0F);
    EXPECT_NEAR(at(250.0), 600.0F, 30.0F);  // the plateau
    EXPECT_NEAR(speed.back(), 0.0F, 25.0F); // at rest after the move
    ASSERT_TRUE(WaitUntil([&] { return !motion->CaptureBusy(); }));
    EXPECT_FALSE(drive->WithDrive([](Drive& d) { return d.MotionRunning(); }));
    PressRun();
    EXPECT_EQ(drawn, 1);
    EXPECT_EQ(Sweep(1), speed);
    EXPECT_EQ(Reg(0xF5), 0); // the next plain run runs free again
    EXPECT_TRUE(kestova::UserSettings().value(kestova::CTWaveMode::kWholeMoveKey).toBool());
}

TEST_F(MotionTestPage, HigherCurrentGainRisesFaster) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Select(kestova::res::IDC_TYPE_CURRENT_LOOP);
    kestova::CTorqueMode* loop = Page().CurrentLoopPage();
    Set(loop, kestova::res::IDC_TEST_CURRENT, "1");
    Set(loop, kestova::res::IDC_SAMPLING, "1");
    const auto riseIndex = [&](const char* kp) {
        Set(loop, kestova::res::IDC_CURRENT_KP, kp);
        const std::vector<float> i = RunOnce();
        return std::find_if(i.begin(), i.end(), [](float mA) { return mA >= 900.0F; }) - i.begin();
    };
    const auto slow = riseIndex("200");
    const auto fast = riseIndex("1000");
    EXPECT_LT(fast, slow);
}

// The capture completes only when stepped and the next one never: the line goes dead while the
// blocks of four servo channels (about 1.3 s) are being read.
TEST_F(MotionTestPage, HangupDuringTheReadOutShowsTheCaptureMessage) {
    ASSERT_NO_FATAL_FAILURE(Open(kServo, kServoProtocol));
    Choose(kestova::res::IDC_CHANNEL_3, "Position Error (P)");
    Choose(kestova::res::IDC_CHANNEL_4, "Bus Voltage (0.1V)");
    Set(Page().MotionPage(), kestova::res::IDC_SAMPLING, "1");
    ASSERT_NO_FATAL_FAILURE(RunHeld(std::chrono::seconds(2)));
    const auto answered = drive->RequestsAnswered();
    // The poll that finds the capture complete, then the first block.
    ASSERT_TRUE(WaitUntil([&] { return drive->RequestsAnswered() >= answered + 2; }));
    drive->Hangup();
    ASSERT_TRUE(WaitUntil([&] { return !presenter.Messages().isEmpty(); }));
    const kestova::MessageRequest shown = presenter.Messages()[0];
    EXPECT_EQ(shown.text, "Communication error, stop reading wave form...!");
    EXPECT_EQ(shown.caption, "");
    EXPECT_EQ(shown.icon, MsgIcon::None);
    EXPECT_EQ(shown.buttons, MsgButtons::Ok);
}

TEST_F(MotionTestPage, ClosingWhileACaptureRunsStopsTheMoveAndEndsTheThreads) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, kLater));
    Set(Page().MotionPage(), kestova::res::IDC_DISTANCE, "100");
    PressRun();
    ASSERT_TRUE(
        WaitUntil([&] { return drive->WithDrive([](Drive& d) { return d.MotionRunning(); }); }));
    window->close();
    window.reset();
    EXPECT_TRUE(
        WaitUntil([&] { return !drive->WithDrive([](Drive& d) { return d.MotionRunning(); }); }));
}

class EveryTestType : public MotionTestPage, public ::testing::WithParamInterface<int> {};

// Each type draws a sweep; the earlier protocol's scope-only trace time goes out in tens of ms.
TEST_P(EveryTestType, RunsAndDrawsASweep) {
    ASSERT_NO_FATAL_FAILURE(Open(kStepper, GetParam()));
    const bool earlier = GetParam() < 300;
    Set(Page().MotionPage(), kestova::res::IDC_DISTANCE, "0.5");
    EXPECT_EQ(RunOnce().size(), earlier ? 200U : 400U);

    Select(kestova::res::IDC_TYPE_CURRENT_LOOP);
    EXPECT_FALSE(RunOnce().empty());

    Select(kestova::res::IDC_TYPE_SCOPE);
    if (earlier) {
        Find<QComboBox>(Page().ScopePage(), kestova::res::IDC_TRACE_TIME)->setCurrentText("2500");
    }
    Page().Scope()->ClearScope();
    PressRun();
    if (earlier) {
        EXPECT_EQ(Reg(0xD0), 250);
    }
    EXPECT_FALSE(Sweep(1).empty());
    PressRun();
    EXPECT_TRUE(presenter.Messages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, EveryTestType, ::testing::Values(kLater, kEarlier));

} // namespace
