#include "CParameterManage.h"

#include "BusyCursor.h"
#include "CCompareDialog.h"
#include "CListCtrlExt.h"
#include "CListMarks.h"
#include "ParameterCompare.h"
#include "ParameterFile.h"
#include "ParameterSearch.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "WindowMessage.h"
#include "ui_Parameters.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace kestova {

using namespace params;

namespace {

const QColor kHintColour(63, 72, 204);
constexpr int kListRightInset = 5;
constexpr int kListBottomInset = 20;
constexpr int kProgressGap = 3;
constexpr int kProgressHeight = 15;
constexpr int kSearchWidth = 220;
constexpr int kSearchMinWidth = 150;
constexpr int kSearchTop = 8;
constexpr int kSearchHeight = 26;
constexpr int kHintGap = 8;
// The strip above the list: the hint may take two lines in it.
constexpr int kStripTop = 4;
constexpr int kStripHeight = 37;

// Waits with the window still painting; the person's input is held back meanwhile. A precise
// timer: a coarse one (Qt's choice from two seconds up) may end a drive command's wait 5 % early.
void WaitPainting(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

CParameterManage::CParameterManage(ProgramState& state, Presenter& presenter, QWidget* parent)
    : QWidget(parent), state_(state), presenter_(presenter),
      ui_(std::make_unique<Ui::ParametersForm>()) {
    ui_->setupUi(this);
    setObjectName("page133");
    wait = WaitPainting;

    QPalette hint = ui_->id1038->palette();
    hint.setColor(QPalette::WindowText, kHintColour);
    ui_->id1038->setPalette(hint);
    ui_->id1039->Attach(state_, presenter_);

    connect(ui_->id1037, &QComboBox::currentIndexChanged, this, [this] { ReloadAndRead(); });
    // A class picked while a search runs ends the search; the class's rows are already in.
    connect(ui_->id1037, &QComboBox::currentIndexChanged, this, [this] {
        if (classBeforeSearch_ >= 0) {
            classBeforeSearch_ = -1;
            const QSignalBlocker quiet(search_);
            search_->clear();
            ApplySearch(0, ui_->id1039->RowCount() - 1);
        }
    });
    connect(ui_->id1041, &QPushButton::clicked, this, [this] { OpenParameterFile(); });
    connect(ui_->id1042, &QPushButton::clicked, this, &CParameterManage::SaveParameterFile);
    connect(ui_->id1043, &QPushButton::clicked, this, &CParameterManage::ReloadAndRead);
    connect(ui_->id1044, &QPushButton::clicked, this, &CParameterManage::DownloadAllParameters);
    connect(ui_->id1045, &QPushButton::clicked, this, &CParameterManage::WriteToDrive);
    connect(ui_->id1046, &QPushButton::clicked, this, &CParameterManage::ResetToFactory);

    marks_ = new CListMarks(*ui_->id1039);
    search_ = new QLineEdit(this);
    search_->setObjectName("parameterSearch");
    search_->setPlaceholderText(tr("Search number or name"));
    search_->setClearButtonEnabled(true);
    search_->setGeometry(width() - kListRightInset - kSearchWidth, kSearchTop, kSearchWidth,
                         kSearchHeight);
    connect(search_, &QLineEdit::textChanged, this, &CParameterManage::OnSearchEdited);
    connect(ui_->id1039->model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { ApplySearch(first, last); });
    runCompare = [](QDialog& dialog) { dialog.exec(); };
    runHistory = [](QDialog& dialog) { dialog.exec(); };

    FillClassFilter();
}

CParameterManage::~CParameterManage() {
    StopTransfer();
}

QString CParameterManage::TableName() const {
    return state_.paraTableName.isEmpty() ? QString::fromLatin1(kDefaultTableName)
                                          : state_.paraTableName;
}
CListCtrlExt* CParameterManage::List() const {
    return ui_->id1039;
}
QComboBox* CParameterManage::ClassFilter() const {
    return ui_->id1037;
}
QProgressBar* CParameterManage::Progress() const {
    return ui_->id1040;
}

void CParameterManage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect list = ui_->id1039->geometry();
    const int right = width() - kListRightInset; // exclusive edges, as the page measures them
    const int bottom = height() - kListBottomInset;
    ui_->id1039->setGeometry(list.left(), list.top(), right - list.left(), bottom - list.top());
    ui_->id1040->setGeometry(list.left(), bottom + kProgressGap, right - list.left(),
                             kProgressHeight);
    PlaceTopStrip(right);
}

QLabel* CParameterManage::ClassHint() const {
    return ui_->id1038;
}

// The hint beside the class filter and the search box at the right share the strip above the
// list, side by side: the search box narrows first, then the hint breaks onto a second line.
void CParameterManage::PlaceTopStrip(int right) {
    QLabel* hint = ui_->id1038;
    const int left = hint->x();
    const int text = hint->fontMetrics().horizontalAdvance(hint->text());
    // At least room for the placeholder beside the clear button.
    const int least = std::max(
        kSearchMinWidth, search_->fontMetrics().horizontalAdvance(search_->placeholderText()) + 40);
    const int search =
        std::clamp(right - left - text - kHintGap, std::min(least, kSearchWidth), kSearchWidth);
    const int room = std::max(right - search - kHintGap - left, 1);
    const bool wrap = room < text;
    hint->setWordWrap(wrap);
    if (wrap) {
        hint->setGeometry(left, kStripTop, room, kStripHeight);
    } else {
        hint->setGeometry(left, kSearchTop + 2, room, kSearchHeight - 4);
    }
    search_->setGeometry(right - search, kSearchTop, search, kSearchHeight);
}

void CParameterManage::FillClassFilter() {
    QComboBox* filter = ui_->id1037;
    const QSignalBlocker quiet(filter);
    filter->clear();
    filter->addItem("All Parameters");
    LoadDefaults();
    const ClassLoad load = LoadClasses(state_.Db(), TableName().toStdString());
    for (const std::string& name : load.classes) {
        filter->addItem(QString::fromStdString(name));
    }
    switch (load.status) {
    case LoadStatus::NotOpen:
        presenter_.Message(this, "Unable to read parameters", "Read parameter tabe",
                           MsgIcon::Exclamation);
        filter->setCurrentIndex(-1);
        return;
    case LoadStatus::DbError:
        presenter_.Message(this,
                           "Data reading error: " + QString::fromStdString(load.errorDescription),
                           "unable to read parameters", MsgIcon::Exclamation);
        break;
    case LoadStatus::Ok:
        break;
    }
    filter->setCurrentIndex(0);
}

void CParameterManage::LoadParameterTable(const QString& filter) {
    StopTransfer(); // a pass in hand must not write into the new rows
    const TableLoad load =
        LoadParameterRows(state_.Db(), TableName().toStdString(), filter.toStdString());
    ui_->id1039->SetRows(load.rows);
    valueRead_.assign(load.rows.size(), false);
    switch (load.status) {
    case LoadStatus::NotOpen:
        presenter_.Message(this, "Unable to Open!", "Read Parameter Table", MsgIcon::Exclamation);
        break;
    case LoadStatus::DbError:
        presenter_.Message(
            this,
            "Connection error:" + QString::fromStdString(load.errorDescription) +
                QString::asprintf(" Error line no. =%d", static_cast<int>(load.rows.size())),
            "read parameter table", MsgIcon::Exclamation);
        break;
    case LoadStatus::Ok:
        break;
    }
}

void CParameterManage::ReloadAndRead() {
    LoadParameterTable(ui_->id1037->currentText());
    ReadAllParameters();
}

bool CParameterManage::event(QEvent* event) {
    if (WindowMessage::Is(event, WM_PARAM_EDITED)) {
        WriteOneParameter(static_cast<int>(static_cast<WindowMessage*>(event)->WParam()));
        return true;
    }
    return QWidget::event(event);
}

void CParameterManage::WriteOneParameter(int row) {
    JournalWriter journal(JournalPathNow(), "edit");
    WriteOneParameter(row, journal);
}

void CParameterManage::WriteOneParameter(int row, JournalWriter& journal) {
    CListCtrlExt* list = ui_->id1039;
    if (row < 0 || row >= list->RowCount()) {
        return;
    }
    const BusyCursor busy;
    CKTCOM& link = state_.Link();
    const ParameterRow asked = list->Row(row);
    // What the drive holds before the write, for the journal; a value not read is not guessed.
    std::optional<std::string> old;
    if (!journal.Path().empty()) {
        TransferEvents events;
        events.value = [&old](int, std::string text) { old = std::move(text); };
        events.failed = [&old](int) { old.reset(); };
        const std::atomic<bool> cancel{false};
        params::ReadAllParameters(link, state_.station, ParameterRows{asked}, cancel, events);
    }
    const std::string text =
        params::WriteOneParameter(link, state_.station, list->Rows(), row, wait);
    list->SetCellText(row, kValueColumn, QString::fromStdString(text));
    // The cell shows what the read-back gave, which is the drive's value only when it was read.
    const bool readBack = link.GetConnectStatus() != 0 && link.GetLastErrors() == 0;
    SetValueRead(row, readBack);
    if (link.GetConnectStatus() != 0) {
        marks_->MarkWritten(row);
    }
    // The drive took a value when it reads back the one asked, or one it did not hold before.
    const bool took =
        text == ShownAfterWrite(asked, asked.Cell(kValueColumn)) || (old && text != *old);
    if (readBack && took) {
        journal.Written(asked.Cell(kNumberColumn), LeadingInteger(asked.Cell(kAddressColumn)), old,
                        text);
        TellJournalFailure(journal);
    }
}

bool CParameterManage::RunCommand(std::uint16_t commandRegister) {
    const BusyCursor busy;
    return RunDriveCommand(state_.Link(), state_.station, commandRegister, wait);
}

void CParameterManage::WriteToDrive() {
    const MsgResult answer = presenter_.Message(
        this,
        "Current drive settings won't be recoverable after parameters written to drive. Do you "
        "want to proceed?",
        "Write to Drive Confirmation", MsgIcon::Warning, MsgButtons::YesNo, MsgResult::No);
    if (answer != MsgResult::Yes) {
        return;
    }
    if (RunCommand(kStoreRegister)) {
        JournalWriter journal(JournalPathNow(), "store");
        journal.Stored();
        TellJournalFailure(journal);
        marks_->Stored();
        presenter_.Message(this, "Parameters have been written to drive seccessfully!",
                           "Download to Drive Success", MsgIcon::Exclamation);
    } else {
        // No caption of its own: the box carries the program's title.
        presenter_.Message(this, "Parameters failed to be written to drive!", QString(),
                           MsgIcon::Exclamation);
    }
}

void CParameterManage::ResetToFactory() {
    const MsgResult answer = presenter_.Message(
        this, "Are you sure to reset current drive settings back to factory settings?",
        "Reset Confirmation", MsgIcon::Warning, MsgButtons::YesNo, MsgResult::No);
    if (answer != MsgResult::Yes) {
        return;
    }
    if (RunCommand(kFactoryResetRegister)) {
        JournalWriter journal(JournalPathNow(), "reset");
        journal.Reset();
        TellJournalFailure(journal);
        marks_->Stored(); // the drive holds its stored defaults again
        presenter_.Message(this, "Drive has been successfully reset back to factory settings",
                           "Reset Status", MsgIcon::Exclamation);
    } else {
        presenter_.Message(this, "Failed to reset", "Reset Status", MsgIcon::Exclamation);
    }
    ReloadAndRead();
}

FileDialogRequest CParameterManage::ParameterFileDialog(const QString& title, bool save) {
    FileDialogRequest request;
    request.title = title;
    request.filters = QStringList{"ktr Files(*.ktr)", "All Files(*.*)"};
    request.defaultSuffix = "ktr";
    request.confirmOverwrite = save;
    return request;
}

void CParameterManage::SaveParameterFile() {
    // The whole table, whatever class the filter shows, read from the drive again.
    LoadParameterTable(QStringLiteral("All"));
    ReadAllParameters();
    const QString path = presenter_.SaveFileName(this, ParameterFileDialog("Save As", true));
    if (path.isEmpty()) {
        return; // the read goes on
    }
    // The file gets the drive's values, not the table's defaults the read is replacing, and
    // values that were not read only once the person has agreed.
    WaitForTransfer();
    if (!ConfirmSaveNotRead(RowsNotRead())) {
        return;
    }
    const std::string bytes =
        WriteParameterFile(state_.driveCode, state_.modelName.toStdString(), ui_->id1039->Rows());
    if (const auto error = ReplaceFileContents(path.toStdString(), bytes)) {
        presenter_.Message(this,
                           QString("Cannot save %1:\n%2").arg(path, QString::fromStdString(*error)),
                           QString(), MsgIcon::Exclamation);
    }
}

bool CParameterManage::OpenParameterFile() {
    const QString path =
        presenter_.OpenFileName(this, ParameterFileDialog("Parameter Table", false));
    if (path.isEmpty()) {
        return false;
    }
    StopTransfer(); // a pass in hand must not write into the file's rows
    ui_->id1039->DeleteAllItems();
    valueRead_.clear();
    const std::optional<ParameterFileRead> file = ReadCheckedFile(path);
    if (!file) {
        return false;
    }
    ui_->id1039->SetRows(file->rows);
    valueRead_.assign(file->rows.size(), false); // the file's values, not the drive's
    return true;
}

std::optional<ParameterFileRead> CParameterManage::ReadCheckedFile(const QString& path) {
    std::string bytes;
    if (const auto error = LoadFileBytes(path.toStdString(), bytes)) {
        presenter_.Message(this,
                           QString("Cannot open %1:\n%2").arg(path, QString::fromStdString(*error)),
                           QString(), MsgIcon::Exclamation);
        return std::nullopt;
    }
    const ParameterFileRead file = ReadParameterFile(bytes);
    switch (file.verdict) {
    case FileVerdict::NotAParameterFile:
        presenter_.Message(
            this, QString("Cannot read %1:\n%2").arg(path, QString::fromStdString(file.problem)),
            QString(), MsgIcon::Exclamation);
        return std::nullopt;
    case FileVerdict::UnknownModel:
        presenter_.Message(this, "Drive model in this file is unknown", "Fatal Error",
                           MsgIcon::Error);
        return std::nullopt;
    case FileVerdict::Ok:
        break;
    }
    if (state_.driveCode != 0 && file.driveCode != state_.driveCode) {
        // Whatever the answer, the file is refused.
        presenter_.Message(this,
                           QString("Current drive model %1 is different from the drive %2 in the "
                                   "data file. ")
                               .arg(state_.modelName, QString::number(file.driveCode)),
                           "Fatal Error", MsgIcon::Exclamation, MsgButtons::YesNo);
        return std::nullopt;
    }
    return file;
}

void CParameterManage::LoadDefaults() {
    marks_->SetDefaults(LoadParameterRows(state_.Db(), TableName().toStdString(), "All").rows);
    marks_->Stored(); // a new connection or model: what an earlier one wrote is not known
}

void CParameterManage::OnSearchEdited(const QString& text) {
    const bool searching = !text.trimmed().isEmpty();
    if (searching && classBeforeSearch_ < 0) {
        // The search runs over the whole table, whatever class the filter showed.
        classBeforeSearch_ = ui_->id1037->currentIndex();
        if (classBeforeSearch_ > 0) {
            const QSignalBlocker quiet(ui_->id1037);
            ui_->id1037->setCurrentIndex(0);
            ReloadAndRead();
        }
    } else if (!searching && classBeforeSearch_ >= 0) {
        const int previous = classBeforeSearch_;
        classBeforeSearch_ = -1;
        if (previous > 0) {
            const QSignalBlocker quiet(ui_->id1037);
            ui_->id1037->setCurrentIndex(previous);
            ReloadAndRead();
        }
    }
    ApplySearch(0, ui_->id1039->RowCount() - 1);
}

void CParameterManage::ApplySearch(int first, int last) {
    CListCtrlExt* list = ui_->id1039;
    const std::string text = search_->text().toStdString();
    for (int row = first; row <= last; ++row) {
        ParameterRow cells;
        cells.Cell(kNumberColumn) = list->CellText(row, kNumberColumn).toStdString();
        cells.Cell(kDescriptionColumn) = list->CellText(row, kDescriptionColumn).toStdString();
        list->setRowHidden(row, !MatchesSearch(cells, text));
    }
}

} // namespace kestova
