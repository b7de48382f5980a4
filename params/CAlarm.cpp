#include "CAlarm.h"

#include "BusyCursor.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ResourceIds.h"
#include "ui_Alarm.h"

#include <QEventLoop>
#include <QHeaderView>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>

namespace kestova {

using namespace params;

namespace {

constexpr int kTabCurrent = 0;
constexpr int kTabHistory = 1;
constexpr int kTabStripHeight = 22;
constexpr std::chrono::milliseconds kClearSettle{500};

// Waits with the window still painting; the person's input is held back meanwhile.
void WaitPainting(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

AlarmLayout LayOutAlarmPage(QSize client, QSize button) {
    const int w = client.width();
    const int h = client.height();
    AlarmLayout layout;
    // Edges as the page measures them: right and bottom exclusive.
    const int buttonBottom = h - 5;
    layout.read =
        QRect(w * 40 / 100, buttonBottom - button.height(), button.width(), button.height());
    layout.clear = layout.read.translated(button.width() + 8, 0);
    const int tabBottom = h - (button.height() + 8);
    layout.tab = QRect(1, 1, (w - 2) - 1, tabBottom - 1);
    const QSize tab = layout.tab.size();
    layout.tabPage =
        QRect(1, kTabStripHeight, (tab.width() - 2) - 1, (tab.height() - 2) - kTabStripHeight);
    return layout;
}

// -- one tab page --------------------------------------------------------------------------------

CAlarmList::CAlarmList(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter), list_(new QTreeWidget(this)) {
    list_->setObjectName(res::ControlName(res::IDC_ALARM_LIST));
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setHeaderLabels({"Error #", "Name", "Class", "Suggestion"});
    list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Suggestion, the last column, fills what the others leave.
    list_->header()->setStretchLastSection(true);
    const int widths[] = {120, 120, 120};
    for (int column = 0; column < 3; ++column) {
        list_->setColumnWidth(column, widths[column]);
    }
}

// Error #, Name and Class take their widest text; a suggestion longer than the rest of the view
// reads in full in its tool tip.
void CAlarmList::FitColumns() {
    for (int column = 0; column < 3; ++column) {
        list_->resizeColumnToContents(column);
    }
}

void CAlarmList::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // From one pixel left of the client and one below its top to one inside its right and bottom.
    list_->setGeometry(-1, 1, (width() - 1) + 1, (height() - 1) - 1);
}

void CAlarmList::ClearRows() {
    list_->clear();
}

void CAlarmList::AppendAlarm(std::int16_t code, const char* notOpenText,
                             const char* notOpenCaption) {
    const AlarmLookup lookup = LookUpAlarm(state_.Db(), code);
    for (const AlarmRow& row : lookup.rows) {
        auto* item = new QTreeWidgetItem(
            list_, {QString::fromStdString(row.code), QString::fromStdString(row.name),
                    QString::fromStdString(row.grade), QString::fromStdString(row.dispose)});
        for (int column = 0; column < item->columnCount(); ++column) {
            item->setToolTip(column, item->text(column));
        }
    }
    switch (lookup.status) {
    case AlarmLookupStatus::Ok:
        break;
    case AlarmLookupStatus::NotOpen:
        presenter_.Message(this, notOpenText, notOpenCaption, MsgIcon::Exclamation);
        break;
    case AlarmLookupStatus::DbError:
        presenter_.Message(this,
                           "Connection error:" + QString::fromStdString(lookup.errorDescription) +
                               QStringLiteral(" Error line No. =%1").arg(lookup.rows.size()),
                           "parameter table reading", MsgIcon::Exclamation);
        break;
    }
}

void CAlarmList::ShowNoErrorIfEmpty() {
    if (list_->topLevelItemCount() == 0) {
        new QTreeWidgetItem(list_, {"No error found", "", "", ""});
    }
    FitColumns();
}

CCurrentAlarm::CCurrentAlarm(ProgramState& state, Presenter& presenter, QWidget* parent)
    : CAlarmList(state, presenter, parent) {
    setObjectName(QStringLiteral("page%1").arg(res::IDD_CURRENT_ALARM));
}

void CCurrentAlarm::ReadCurrentAlarm() {
    ClearRows();
    // A failed read gives -1, which has no record: the list then says "No error found".
    BusyCursor busy;
    const std::int16_t code = state_.Link().ReadAddressValue(state_.station, kAlarmRegister);
    busy.End();
    AppendAlarm(code, "Unable to read data", "Data Error");
    ShowNoErrorIfEmpty();
}

CHistroryAlarm::CHistroryAlarm(ProgramState& state, Presenter& presenter, QWidget* parent)
    : CAlarmList(state, presenter, parent) {
    setObjectName(QStringLiteral("page%1").arg(res::IDD_HISTORY_ALARM));
}

void CHistroryAlarm::ReadAlarmHistory() {
    ClearRows();
    BusyCursor busy;
    const KtVariant reply =
        state_.Link().ReadBigData(state_.station, kAlarmRegister, kAlarmHistoryCount);
    busy.End();
    for (const std::int16_t code : AlarmHistoryCodes(reply)) {
        AppendAlarm(code, "DB connection closed!", "Fatal Error");
    }
    ShowNoErrorIfEmpty();
}

// -- the page ------------------------------------------------------------------------------------

CAlarm::CAlarm(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), ui_(std::make_unique<Ui::AlarmForm>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("page%1").arg(res::IDD_ALARM));
    wait = WaitPainting;

    tabs_ = new QTabBar(ui_->id1047);
    tabs_->setObjectName("tabs");
    tabs_->setExpanding(false);
    current_ = new CCurrentAlarm(state_, presenter, ui_->id1047);
    history_ = new CHistroryAlarm(state_, presenter, ui_->id1047);
    tabs_->addTab("Last Error");
    tabs_->addTab("Previous Error(s)");
    tabs_->setCurrentIndex(kTabCurrent);
    ShowSelectedPage();

    connect(tabs_, &QTabBar::currentChanged, this, &CAlarm::ShowSelectedPage);
    connect(ui_->id1048, &QPushButton::clicked, this, &CAlarm::Read);
    connect(ui_->id1049, &QPushButton::clicked, this, &CAlarm::Clear);
}

CAlarm::~CAlarm() = default;

QPushButton* CAlarm::ReadButton() const {
    return ui_->id1048;
}
QPushButton* CAlarm::ClearButton() const {
    return ui_->id1049;
}

bool CAlarm::HistorySelected() const {
    return tabs_->currentIndex() == kTabHistory;
}

void CAlarm::ShowSelectedPage() {
    current_->setVisible(!HistorySelected());
    history_->setVisible(HistorySelected());
}

void CAlarm::Read() {
    if (HistorySelected()) {
        history_->ReadAlarmHistory();
    } else {
        current_->ReadCurrentAlarm();
    }
}

void CAlarm::Clear() {
    const bool history = HistorySelected();
    {
        const BusyCursor busy;
        state_.Link().WriteAddressValue(state_.station, kAlarmRegister,
                                        history ? kClearAlarmHistory : kClearCurrentAlarm);
        wait(kClearSettle);
    }
    if (history) {
        history_->ReadAlarmHistory();
    } else {
        current_->ReadCurrentAlarm();
    }
}

void CAlarm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const AlarmLayout layout = LayOutAlarmPage(size(), ui_->id1048->size());
    ui_->id1048->setGeometry(layout.read);
    ui_->id1049->setGeometry(layout.clear);
    ui_->id1047->setGeometry(layout.tab);
    tabs_->setGeometry(0, 0, layout.tab.width(), kTabStripHeight);
    current_->setGeometry(layout.tabPage);
    history_->setGeometry(layout.tabPage);
}

} // namespace kestova
