#include "CBusMonitor.h"

#include "Presenter.h"
#include "ProgramState.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace kestova {

namespace {

// Two lines where one would make the table wider than the page.
const char* const kCounterTitles[] = {
    "Station",    "Requests",      "Answers",          "Retries", "Time-outs", "CRC\nfailures",
    "Exceptions", "Late\ndropped", "Foreign\ndropped", "p50\nms", "p99\nms",   "max\nms"};
const char* const kLogTitles[] = {"Time",    "Dir",     "Station", "Function",
                                  "Verdict", "Summary", "Bytes"};
// What the log's columns are made wide enough for, in the log's font; the bytes take the rest.
const char* const kLogWidths[] = {"0000.000000",
                                  "<-",
                                  "Station",
                                  "Function",
                                  "late answer dropped",
                                  "write 0x0000 = -32768 -> CRC failure"};
constexpr KtVerdict kVerdicts[] = {KtVerdict::Sent,     KtVerdict::Taken,   KtVerdict::CrcFailure,
                                   KtVerdict::NoAnswer, KtVerdict::Foreign, KtVerdict::Late,
                                   KtVerdict::Exception};

QString Milliseconds(std::int64_t us) {
    return QString::number(static_cast<double>(us) / 1000.0, 'f', 2);
}

// "6: 2, 11: 1": how many of each exception code.
QString ExceptionText(const KtStationCounts& c) {
    QStringList parts;
    for (const auto& [code, n] : c.exceptions) {
        parts << QStringLiteral("%1: %2").arg(code).arg(n);
    }
    return parts.isEmpty() ? QStringLiteral("0") : parts.join(", ");
}

} // namespace

// The log as rows of the view; it reads the monitor's filtered records, holding no copy.
class BusLogModel : public QAbstractTableModel {
public:
    explicit BusLogModel(const BusMonitor& monitor, QObject* parent)
        : QAbstractTableModel(parent), monitor_(monitor) {}
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(monitor_.Shown());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(std::size(kLogTitles));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < static_cast<int>(std::size(kLogTitles))) {
            return QString::fromLatin1(kLogTitles[section]);
        }
        return {};
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) {
            return {};
        }
        const BusRecord& r = monitor_.ShownAt(static_cast<std::size_t>(index.row()));
        switch (index.column()) {
        case 0:
            return QString::number(static_cast<double>(r.timeUs - origin_) / 1e6, 'f', 6);
        case 1:
            return r.direction == KtDirection::Sent ? QStringLiteral("->") : QStringLiteral("<-");
        case 2:
            return r.station;
        case 3:
            return QStringLiteral("%1").arg(RecordFunction(r), 2, 16, QChar('0')).toUpper();
        case 4:
            return QString::fromLatin1(VerdictText(r.verdict));
        case 5:
            return QString::fromStdString(Summary(r));
        case 6:
            return QString::fromStdString(HexBytes(r.bytes));
        default:
            return {};
        }
    }
    void Reload(std::int64_t origin) {
        beginResetModel();
        origin_ = origin;
        endResetModel();
    }

private:
    const BusMonitor& monitor_;
    std::int64_t origin_ = 0;
};

CBusMonitor::CBusMonitor(ProgramState& state, Presenter& presenter, QWidget* parent,
                         std::size_t capacity)
    : QWidget(parent), state_(state), presenter_(presenter), monitor_(capacity) {
    setObjectName("pageBusMonitor");
    auto* layout = new QVBoxLayout(this);

    counters_ = new QTableWidget(0, static_cast<int>(std::size(kCounterTitles)), this);
    QStringList titles;
    for (const char* title : kCounterTitles) {
        titles << QString::fromLatin1(title);
    }
    counters_->setHorizontalHeaderLabels(titles);
    counters_->verticalHeader()->hide();
    counters_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    counters_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Room for three stations; more scroll.
    counters_->setMaximumHeight(counters_->horizontalHeader()->sizeHint().height() +
                                3 * counters_->verticalHeader()->defaultSectionSize() +
                                2 * counters_->frameWidth() +
                                counters_->horizontalScrollBar()->sizeHint().height());
    layout->addWidget(counters_);

    auto* controls = new QHBoxLayout;
    pause_ = new QPushButton("Pause", this);
    pause_->setCheckable(true);
    clear_ = new QPushButton("Clear", this);
    station_ = new QComboBox(this);
    station_->addItem("All stations");
    verdict_ = new QComboBox(this);
    verdict_->addItem("All verdicts");
    for (const KtVerdict v : kVerdicts) {
        verdict_->addItem(QString::fromLatin1(VerdictText(v)), static_cast<int>(v));
    }
    save_ = new QPushButton("Save Log...", this);
    status_ = new QLabel(this);
    controls->addWidget(pause_);
    controls->addWidget(clear_);
    controls->addWidget(new QLabel("Station:", this));
    controls->addWidget(station_);
    controls->addWidget(new QLabel("Verdict:", this));
    controls->addWidget(verdict_);
    controls->addWidget(save_);
    controls->addStretch();
    controls->addWidget(status_);
    layout->addLayout(controls);

    log_ = new QTreeView(this);
    model_ = new BusLogModel(monitor_, this);
    log_->setModel(model_);
    log_->setRootIsDecorated(false);
    log_->setUniformRowHeights(true); // rows are laid out on demand, however many there are
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    const QFontMetrics metrics(log_->font());
    for (int column = 0; column < static_cast<int>(std::size(kLogWidths)); ++column) {
        log_->setColumnWidth(column,
                             metrics.horizontalAdvance(QString::fromLatin1(kLogWidths[column])) +
                                 metrics.averageCharWidth() * 2);
    }
    layout->addWidget(log_, 1);

    connect(clear_, &QPushButton::clicked, this, &CBusMonitor::Clear);
    connect(save_, &QPushButton::clicked, this, &CBusMonitor::SaveLog);
    connect(station_, &QComboBox::currentIndexChanged, this, &CBusMonitor::ApplyFilter);
    connect(verdict_, &QComboBox::currentIndexChanged, this, &CBusMonitor::ApplyFilter);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &CBusMonitor::Refresh);
    ShowCounters();
}

CBusMonitor::~CBusMonitor() {
    if (tapped_) {
        state_.Link().SetTap(nullptr);
    }
}

void CBusMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!tapped_) {
        state_.Link().SetTap(&monitor_);
        tapped_ = true;
        timer_.start();
    }
}

void CBusMonitor::Refresh() {
    // Paused, the log stands still; the frames wait (as many as the log holds) and are counted.
    if (!pause_->isChecked()) {
        QScrollBar* bar = log_->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        const int at = bar->value();
        if (monitor_.Drain() > 0) {
            model_->Reload(monitor_.OriginUs());
            if (atEnd) {
                log_->scrollToBottom();
            } else {
                bar->setValue(at);
            }
        }
    }
    ShowCounters();
}

void CBusMonitor::ShowCounters() {
    const auto counts = monitor_.Counters();
    counters_->setRowCount(static_cast<int>(counts.size()));
    int row = 0;
    for (const auto& [station, c] : counts) {
        const QString cells[] = {QString::number(station),
                                 QString::number(c.requests),
                                 QString::number(c.answers),
                                 QString::number(c.retries),
                                 QString::number(c.timeOuts),
                                 QString::number(c.crcFailures),
                                 ExceptionText(c),
                                 QString::number(c.lateDropped),
                                 QString::number(c.foreignDropped),
                                 Milliseconds(c.answerP50),
                                 Milliseconds(c.answerP99),
                                 Milliseconds(c.answerMax)};
        for (int column = 0; column < static_cast<int>(std::size(cells)); ++column) {
            QTableWidgetItem* item = counters_->item(row, column);
            if (item == nullptr) {
                counters_->setItem(row, column, new QTableWidgetItem(cells[column]));
            } else if (item->text() != cells[column]) {
                item->setText(cells[column]);
            }
        }
        // A station seen for the first time joins the filter's list.
        const QString name = QStringLiteral("Station %1").arg(station);
        if (station_->findData(static_cast<int>(station)) < 0) {
            station_->addItem(name, static_cast<int>(station));
        }
        ++row;
    }
    QString status =
        QStringLiteral("%1 frames, %2 shown").arg(monitor_.Size()).arg(monitor_.Shown());
    // Frames the log never got: a gap in it is said, not hidden.
    if (const std::uint64_t lost = monitor_.Overrun(); lost > 0) {
        status += QStringLiteral(", %1 lost: more came between two refreshes than the log holds")
                      .arg(lost);
    }
    status_->setText(status);
}

void CBusMonitor::ApplyFilter() {
    BusFilter filter;
    if (station_->currentIndex() > 0) {
        filter.station = static_cast<std::uint8_t>(station_->currentData().toInt());
    }
    if (verdict_->currentIndex() > 0) {
        filter.verdict = static_cast<KtVerdict>(verdict_->currentData().toInt());
    }
    monitor_.SetFilter(filter);
    model_->Reload(monitor_.OriginUs());
    log_->scrollToBottom();
    ShowCounters();
}

void CBusMonitor::Clear() {
    monitor_.Clear();
    model_->Reload(0);
    ShowCounters();
}

void CBusMonitor::SaveLog() {
    FileDialogRequest request;
    request.title = "Save Log";
    request.filters = QStringList{"Text Files(*.txt)", "All Files(*.*)"};
    request.defaultSuffix = "txt";
    const QString path = presenter_.SaveFileName(this, request);
    if (path.isEmpty()) {
        return;
    }
    QSaveFile file(path);
    const std::string text = monitor_.Text();
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        presenter_.Message(this, "The log could not be written to " + path, "Bus Monitor",
                           MsgIcon::Exclamation);
    }
}

} // namespace kestova
