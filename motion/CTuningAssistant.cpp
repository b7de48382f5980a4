#include "CTuningAssistant.h"

#include "AlarmLookup.h"
#include "BusyCursor.h"
#include "Cscope.h"
#include "ParameterTable.h"
#include "ParameterTransfer.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "RegisterMap.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kestova {

using namespace tune;

namespace {

constexpr const char* kCaption = "Tuning Assistant";

// Waits with the window painting and input held back, as the parameter page's drive commands do.
void WaitPainting(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

QString Number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// The figures of a capture, in the unit its step is timed in.
QStringList FigureLines(const TuneCapture& capture) {
    QStringList lines;
    const StepFigures& f = capture.figures;
    if (!f.valid) {
        return {QStringLiteral("No step in this capture")};
    }
    const bool micro = capture.step == TuneStep::Current;
    const auto time = [micro](double ms) {
        return micro ? Number(ms * 1000.0, 0) + " us" : Number(ms, 1) + " ms";
    };
    lines << "Rise 10-90 %: " + (f.riseTime ? time(*f.riseTime) : QStringLiteral("not reached"));
    lines << "Overshoot: " + Number(f.overshootPercent, 1) + " %";
    lines << "Settling (2 %): " +
                 (f.settlingTime ? time(*f.settlingTime) : QStringLiteral("not settled"));
    if (f.peakFollowingError) {
        lines << "Peak following error: " + Number(std::abs(*f.peakFollowingError), 0) + " P";
    }
    return lines;
}

} // namespace

CTuningAssistant::CTuningAssistant(ProgramState& state, Presenter& presenter,
                                   std::function<std::string()> journalPath, QWidget* parent)
    : QDialog(parent), state_(state), presenter_(presenter), journalPath_(std::move(journalPath)) {
    setObjectName("tuningAssistant");
    setWindowTitle(tr(kCaption));
    resize(960, 640);
    auto* layout = new QVBoxLayout(this);

    auto* settings = new QHBoxLayout;
    plan_ = new QComboBox(this);
    plan_->addItems({tr("All steps"), tr("Current loop"), tr("Machine identification"),
                     tr("Speed and position loops")});
    stiffness_ = new QComboBox(this);
    stiffness_->addItems({tr("Soft"), tr("Medium"), tr("Stiff")});
    stiffness_->setCurrentIndex(1);
    stiffness_->setToolTip(tr("Soft for belts and loose couplings, stiff for rigid direct loads"));
    distance_ = new QDoubleSpinBox(this);
    distance_->setRange(0.01, 327.67);
    distance_->setDecimals(2);
    distance_->setValue(2.0);
    distance_->setSuffix(" rev");
    distance_->setToolTip(tr("No test move goes further than this from where it starts"));
    speed_ = new QSpinBox(this);
    speed_->setRange(1, 6000);
    speed_->setValue(600);
    speed_->setSuffix(" rpm");
    speed_->setToolTip(tr("No test move goes faster"));
    start_ = new QPushButton(tr("Start"), this);
    stop_ = new QPushButton(tr("Stop"), this);
    settings->addWidget(new QLabel(tr("Tune:"), this));
    settings->addWidget(plan_);
    settings->addWidget(new QLabel(tr("Stiffness:"), this));
    settings->addWidget(stiffness_);
    settings->addWidget(new QLabel(tr("Max. distance:"), this));
    settings->addWidget(distance_);
    settings->addWidget(new QLabel(tr("Max. speed:"), this));
    settings->addWidget(speed_);
    settings->addStretch();
    settings->addWidget(start_);
    settings->addWidget(stop_);
    layout->addLayout(settings);

    auto* split = new QSplitter(Qt::Horizontal, this);
    scope_ = new Cscope(presenter_, split);
    scope_->InitEmpty();
    scope_->setMinimumSize(420, 280);
    auto* side = new QWidget(split);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    step_ = new QLabel(tr("Set the limits of the test moves, then press Start."), side);
    step_->setWordWrap(true);
    figures_ = new QLabel(side);
    figures_->setObjectName("tuningFigures");
    log_ = new QPlainTextEdit(side);
    log_->setReadOnly(true);
    sideLayout->addWidget(step_);
    sideLayout->addWidget(figures_);
    sideLayout->addWidget(log_, 1);
    split->addWidget(scope_);
    split->addWidget(side);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 3);

    changes_ = new QTreeWidget(this);
    changes_->setRootIsDecorated(false);
    changes_->setHeaderLabels({tr("Par. #"), tr("Name"), tr("Before"), tr("After"), tr("Unit")});
    changes_->header()->resizeSection(0, 70);
    changes_->header()->resizeSection(1, 300);
    result_ = new QLabel(this);
    result_->setWordWrap(true);
    layout->addWidget(changes_, 1);
    layout->addWidget(result_);

    auto* keep = new QHBoxLayout;
    apply_ = new QPushButton(tr("Apply"), this);
    apply_->setToolTip(tr("Keep the tuned values in the drive's working memory"));
    store_ = new QPushButton(tr("Store"), this);
    store_->setToolTip(tr("Keep the tuned values and store them in the drive (Write to Drive)"));
    revert_ = new QPushButton(tr("Revert"), this);
    revert_->setToolTip(tr("Write every original value back"));
    auto* close = new QPushButton(tr("Close"), this);
    keep->addStretch();
    keep->addWidget(apply_);
    keep->addWidget(store_);
    keep->addWidget(revert_);
    keep->addWidget(close);
    layout->addLayout(keep);
    for (QPushButton* button : {start_, stop_, apply_, store_, revert_, close}) {
        button->setAutoDefault(false);
    }

    connect(start_, &QPushButton::clicked, this, &CTuningAssistant::Start);
    connect(stop_, &QPushButton::clicked, this, &CTuningAssistant::Stop);
    connect(apply_, &QPushButton::clicked, this, &CTuningAssistant::Apply);
    connect(store_, &QPushButton::clicked, this, &CTuningAssistant::Store);
    connect(revert_, &QPushButton::clicked, this, &CTuningAssistant::Revert);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    SetRunning(false);
    SetResultButtons(false);
}

CTuningAssistant::~CTuningAssistant() {
    if (worker_.joinable()) {
        sequencer_->Stop();
        worker_.join(); // the sequence writes the originals back before it ends
    }
}

std::vector<TableRow> CTuningAssistant::Table() const {
    const QString table = state_.paraTableName.isEmpty()
                              ? QString::fromLatin1(params::kDefaultTableName)
                              : state_.paraTableName;
    return TableOfParameterRows(
        params::LoadParameterRows(state_.Db(), table.toStdString(), "All").rows);
}

void CTuningAssistant::Start() {
    if (Running()) {
        return;
    }
    if (state_.driveCode < 1 || state_.Link().GetCurrentUseMode() != 1) {
        presenter_.Message(this, "Connect to a drive to tune it.", kCaption, MsgIcon::Information);
        return;
    }
    if (outcome_ && left_.isEmpty()) {
        Apply(); // a new sequence starts from what the last one left
    }
    TuneSettings settings;
    settings.stiffness = static_cast<Stiffness>(stiffness_->currentIndex());
    settings.maxDistanceRev = distance_->value();
    settings.maxSpeedRpm = speed_->value();
    TuneDrive drive;
    drive.station = state_.station;
    drive.protocol = state_.protocolVersion;
    drive.triggerSupported = state_.HasFeature(reg::FEATURE_TRIGGERED_CAPTURE);
    const TunePlan plans[] = {TunePlan::All, TunePlan::Current, TunePlan::Identify,
                              TunePlan::Loops};
    const TunePlan plan = plans[std::clamp(plan_->currentIndex(), 0, 3)];

    sequencer_ = std::make_unique<TuningSequencer>(state_.Link(), drive, Table(), settings);
    journal_ = std::make_unique<params::JournalWriter>(journalPath_ ? journalPath_() : "", "tune");
    outcome_.reset();
    left_.clear();
    capturesShown_ = 0;
    changes_->clear();
    result_->clear();
    figures_->clear();
    log_->clear();
    SetResultButtons(false);
    SetRunning(true);

    // Called on the sequence's thread: what the page needs is copied and handed over.
    sequencer_->SetProgress([this](const TuneProgress& p) {
        if (p.kind == TuneProgress::Kind::Written && p.change != nullptr) {
            Journal(*p.change); // the journal is this run's alone while it runs
        }
        std::optional<TuneCapture> capture;
        if (p.capture != nullptr) {
            capture = *p.capture;
        }
        std::optional<ParameterChange> change;
        if (p.change != nullptr) {
            change = *p.change;
        }
        QMetaObject::invokeMethod(
            this, [this, p, capture, change] { OnProgress(p, capture, change); },
            Qt::QueuedConnection);
    });
    worker_ = std::thread([this, plan] {
        TuneOutcome outcome = sequencer_->Run(plan);
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome)] { OnEnded(outcome); }, Qt::QueuedConnection);
    });
}

void CTuningAssistant::Stop() {
    if (Running()) {
        Say(tr("Stop: ending the test and writing the original values back..."));
        sequencer_->Stop();
    }
}

void CTuningAssistant::OnProgress(const TuneProgress& progress, std::optional<TuneCapture> capture,
                                  std::optional<ParameterChange> change) {
    switch (progress.kind) {
    case TuneProgress::Kind::Step:
        step_->setText(QString::fromStdString(progress.text));
        Say(step_->text());
        break;
    case TuneProgress::Kind::Trying:
    case TuneProgress::Kind::Result:
    case TuneProgress::Kind::Restoring:
        Say(QString::fromStdString(progress.text));
        break;
    case TuneProgress::Kind::Capture:
        if (capture) {
            ShowCapture(*capture);
        }
        break;
    case TuneProgress::Kind::Written:
        if (change) {
            Say(tr("%1 %2: %3 -> %4")
                    .arg(QString::fromStdString(change->number),
                         QString::fromStdString(change->name))
                    .arg(change->before)
                    .arg(change->after));
        }
        break;
    }
}

void CTuningAssistant::ShowCapture(const TuneCapture& capture) {
    std::size_t n = 0;
    for (const auto& samples : capture.samples) {
        n = std::max(n, samples.size());
    }
    if (n < 2) {
        return;
    }
    const double spanMs = capture.sampleMs * static_cast<double>(n);
    const bool micro = spanMs < 100.0;
    const std::array<std::uint32_t, 4> sources{capture.sources[0], capture.sources[1],
                                               capture.sources[2], capture.sources[3]};
    scope_->BeginSweep(sources, static_cast<int>(n), micro ? "us" : "ms",
                       static_cast<int>(std::lround(micro ? spanMs * 1000.0 : spanMs)));
    using Add = void (Cscope::*)(int, float);
    using Enable = void (Cscope::*)(std::uint8_t);
    const Add add[] = {&Cscope::AddCh1Point, &Cscope::AddCh2Point, &Cscope::AddCh3Point,
                       &Cscope::AddCh4Point};
    const Enable enable[] = {&Cscope::EnableCh1, &Cscope::EnableCh2, &Cscope::EnableCh3,
                             &Cscope::EnableCh4};
    for (std::size_t c = 0; c < 4; ++c) {
        const std::vector<float>& points = capture.samples[c];
        const bool taken = sources[c] != 0 && points.size() == n;
        (scope_->*enable[c])(taken ? 1 : 0);
        if (!taken) {
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            (scope_->*add[c])(static_cast<int>(i), points[i]);
        }
    }
    ++capturesShown_;
    figures_->setText(
        tr("Capture %1: %2\n").arg(capture.number).arg(QString::fromStdString(capture.what)) +
        FigureLines(capture).join('\n'));
    emit captureShown(static_cast<int>(capture.step));
}

void CTuningAssistant::OnEnded(TuneOutcome outcome) {
    if (worker_.joinable()) {
        worker_.join();
    }
    outcome_ = std::move(outcome);
    SetRunning(false);
    SayJournalFailure();
    ShowResult();
    const TuneOutcome& o = *outcome_;
    if (o.end == TuneEnd::Done) {
        step_->setText(tr("Done. Apply keeps the tuned values, Store also stores them, Revert "
                          "writes every original value back."));
        SetResultButtons(!o.changes.empty());
        left_ = o.changes.empty() ? QStringLiteral("applied") : QString();
    } else {
        QString message = QString::fromStdString(o.message);
        if (o.end == TuneEnd::Alarm) {
            const params::AlarmLookup lookup =
                params::LookUpAlarm(state_.Db(), static_cast<std::int16_t>(o.alarm));
            if (!lookup.rows.empty()) {
                message += " (" + QString::fromStdString(lookup.rows.front().name) + ")";
            }
        }
        QString restored = o.restored ? tr("Every original value was written back.")
                                      : tr("Not every original value could be written back:");
        for (const ParameterChange& r : o.unrestored) {
            restored += tr("\n%1 %2 holds another value than %3")
                            .arg(QString::fromStdString(r.number), QString::fromStdString(r.name))
                            .arg(r.before);
        }
        step_->setText(message);
        left_ = QStringLiteral("reverted");
        presenter_.Message(this, message + "\n" + restored, kCaption,
                           o.restored ? MsgIcon::Warning : MsgIcon::Error);
    }
    emit sequenceEnded();
}

void CTuningAssistant::ShowResult() {
    const TuneOutcome& o = *outcome_;
    changes_->clear();
    for (const ParameterChange& c : o.changes) {
        new QTreeWidgetItem(changes_, {QString::fromStdString(c.number),
                                       QString::fromStdString(c.name), QString::number(c.before),
                                       QString::number(c.after), QString::fromStdString(c.units)});
    }
    QStringList lines;
    if (o.current) {
        lines << tr("Current loop: setting %1, rise %2 us, overshoot %3 %, bandwidth %4 Hz")
                     .arg(o.current->setting)
                     .arg(Number(o.current->riseTimeMs * 1000.0, 0))
                     .arg(Number(o.current->overshootPercent, 1))
                     .arg(Number(o.current->bandwidthHz, 0));
    }
    if (o.machine) {
        lines << (o.machinePerAmpere
                      ? tr("Machine (per N m/A of torque constant): inertia %1 kg cm², Coulomb "
                           "friction %2 N m, viscous friction %3 mN m per rad/s")
                      : tr("Machine: inertia %1 kg cm², load inertia ratio %4 %, Coulomb "
                           "friction %2 N m, viscous friction %3 mN m per rad/s"))
                     .arg(Number(o.machine->inertia * 1e4, 3))
                     .arg(Number(o.machine->coulombFriction, 3))
                     .arg(Number(o.machine->viscousFriction * 1e3, 3))
                     .arg(Number(o.machine->loadInertiaRatio * 100.0, 0));
    }
    if (o.loops) {
        lines << tr("Loops: speed %1 Hz, position %2 /s; check: peak following error %3 P, "
                    "overshoot %4 %, settling %5%6")
                     .arg(Number(o.loops->gains.speedBandwidthHz, 1))
                     .arg(Number(o.loops->gains.positionGain, 1))
                     .arg(Number(o.loops->peakFollowingError, 0))
                     .arg(Number(o.loops->overshootPercent, 1))
                     .arg(o.loops->settlingMs ? Number(*o.loops->settlingMs, 0) + " ms"
                                              : tr("not reached"))
                     .arg(o.loops->backOffs > 0
                              ? tr(" (backed off %1 step(s))").arg(o.loops->backOffs)
                              : QString());
    }
    lines << tr("%1 capture(s) in %2 s.").arg(o.captures).arg(Number(o.seconds, 1));
    result_->setText(lines.join('\n'));
}

void CTuningAssistant::Apply() {
    if (!outcome_ || !left_.isEmpty()) {
        return;
    }
    left_ = QStringLiteral("applied");
    SetResultButtons(false);
    Say(tr("Applied: the tuned values are in the drive's working memory, not stored."));
    emit resultKept();
}

void CTuningAssistant::Store() {
    if (!outcome_ || !left_.isEmpty()) {
        return;
    }
    bool stored = false;
    {
        const BusyCursor busy;
        stored = params::RunDriveCommand(state_.Link(), state_.station, params::kStoreRegister,
                                         WaitPainting);
    }
    if (!stored) {
        presenter_.Message(this, "Parameters failed to be written to drive!", QString(),
                           MsgIcon::Exclamation);
        return; // the values stay applied; Store or Revert may still be chosen
    }
    journal_->Stored();
    SayJournalFailure();
    left_ = QStringLiteral("stored");
    SetResultButtons(false);
    Say(tr("Stored: the tuned values are kept in the drive."));
    emit resultKept();
}

void CTuningAssistant::Revert() {
    if (!outcome_ || !left_.isEmpty() || !sequencer_) {
        return;
    }
    std::vector<ParameterChange> kept;
    {
        const BusyCursor busy;
        kept = sequencer_->Revert();
    }
    SayJournalFailure();
    left_ = QStringLiteral("reverted");
    SetResultButtons(false);
    if (kept.empty()) {
        Say(tr("Reverted: every original value is back."));
    } else {
        QString text = tr("Not every original value could be written back:");
        for (const ParameterChange& r : kept) {
            text += tr("\n%1 %2 holds another value than %3")
                        .arg(QString::fromStdString(r.number), QString::fromStdString(r.name))
                        .arg(r.before);
        }
        presenter_.Message(this, text, kCaption, MsgIcon::Error);
    }
    emit resultKept();
}

void CTuningAssistant::Journal(const ParameterChange& change) {
    if (journal_ && !change.number.empty()) {
        journal_->Written(change.number, change.address, std::to_string(change.before),
                          std::to_string(change.after));
    }
}

void CTuningAssistant::SayJournalFailure() {
    if (!journal_ || !journal_->TakeNewFailure() || journalFailureTold_) {
        return;
    }
    journalFailureTold_ = true;
    presenter_.Message(this,
                       QString("The change journal %1 could not be written: %2. The drive was "
                               "written all the same.")
                           .arg(QString::fromStdString(journal_->Path()),
                                QString::fromStdString(*journal_->Failure())),
                       "Change Journal", MsgIcon::Warning);
}

void CTuningAssistant::SetRunning(bool running) {
    start_->setEnabled(!running);
    stop_->setEnabled(running);
    for (QWidget* w : std::initializer_list<QWidget*>{plan_, stiffness_, distance_, speed_}) {
        w->setEnabled(!running);
    }
}

void CTuningAssistant::SetResultButtons(bool on) {
    apply_->setEnabled(on);
    store_->setEnabled(on);
    revert_->setEnabled(on);
}

void CTuningAssistant::Say(const QString& line) {
    log_->appendPlainText(line);
}

void CTuningAssistant::closeEvent(QCloseEvent* event) {
    if (Running()) {
        // The originals go back before the window goes.
        Stop();
        const BusyCursor busy;
        while (Running() && !outcome_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
    if (outcome_ && left_.isEmpty()) {
        Apply(); // closing keeps what the sequence left, unstored, as Apply does
    }
    QDialog::closeEvent(event);
}

} // namespace kestova
