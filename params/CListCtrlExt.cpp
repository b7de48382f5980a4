#include "CListCtrlExt.h"

#include "CIOSettings.h"
#include "CItemEdit.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "WindowMessage.h"

#include <QCursor>
#include <QHeaderView>
#include <QMouseEvent>

#include <algorithm>

namespace kestova {

using namespace params;

namespace {

struct ColumnInfo {
    const char* heading;
    int width;
};
constexpr ColumnInfo kColumns[kColumnCount] = {{"Address", 0}, {"Par. #", 60}, {"Description", 335},
                                               {"Value", 80},  {"Range", 120}, {"Unit", 100},
                                               {"Note", 600}};

// The drives whose IO function registers are edited in the IO function panel.
bool HasIoFunctionPanel(int driveCode) {
    return driveCode == 256 || driveCode == 257;
}
constexpr int kFirstIoFunction = 101;
constexpr int kLastIoFunction = 120;

// Description keeps at least this much of a narrow view.
constexpr int kLeastDescriptionWidth = 160;

} // namespace

QVariant ListCells::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole) {
        // A tool tip of its own (a mark's) comes first; the short columns always show their text.
        const QVariant own = QStandardItemModel::data(index, role);
        const bool shared = index.column() == kDescriptionColumn || index.column() == kNoteColumn;
        if (!own.toString().isEmpty() || !shared) {
            return own;
        }
        const QString text = QStandardItemModel::data(index, Qt::DisplayRole).toString();
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    return QStandardItemModel::data(index, role);
}

CListCtrlExt::CListCtrlExt(QWidget* parent) : QTableView(parent), model_(0, kColumnCount) {
    for (int c = 0; c < kColumnCount; ++c) {
        model_.setHeaderData(c, Qt::Horizontal, QString::fromLatin1(kColumns[c].heading));
        model_.setHeaderData(c, Qt::Horizontal,
                             QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter),
                             Qt::TextAlignmentRole);
    }
    setModel(&model_);
    setItemDelegate(new CValueDelegate(*this));
    for (int c = 0; c < kColumnCount; ++c) {
        horizontalHeader()->resizeSection(c, kColumns[c].width);
    }
    setColumnHidden(kAddressColumn, true);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Edits start only from the second click on a marked Value cell.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
}

void CListCtrlExt::Attach(const ProgramState& state, Presenter& presenter) {
    program_ = &state;
    presenter_ = &presenter;
    if (ioPanel_ == nullptr) {
        ioPanel_ = new CIOSettings(this);
    }
}

void CListCtrlExt::DeleteAllItems() {
    model_.removeRows(0, model_.rowCount());
    markedRow_ = markedColumn_ = highlightedRow_ = -1;
    state_ = CellState::Idle;
}

void CListCtrlExt::SetRows(const ParameterRows& rows) {
    DeleteAllItems();
    for (const ParameterRow& row : rows) {
        QList<QStandardItem*> items;
        for (const std::string& cell : row.cells) {
            auto* item = new QStandardItem(QString::fromStdString(cell));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            items.append(item);
        }
        model_.appendRow(items);
    }
    FitColumns();
}

void CListCtrlExt::FitColumns() {
    int used = 0;
    for (const int c : {kNumberColumn, kValueColumn, kRangeColumn, kUnitColumn}) {
        resizeColumnToContents(c);
        used += columnWidth(c);
    }
    const int rest = viewport()->width() - used;
    const int wanted = std::max(sizeHintForColumn(kDescriptionColumn),
                                horizontalHeader()->sectionSizeHint(kDescriptionColumn));
    setColumnWidth(kDescriptionColumn,
                   std::min(wanted, std::max(rest * 3 / 5, kLeastDescriptionWidth)));
    // Note, the last column, fills what is left.
    horizontalHeader()->setStretchLastSection(true);
}

void CListCtrlExt::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitColumns();
}

ParameterRow CListCtrlExt::Row(int row) const {
    ParameterRow out;
    for (int c = 0; c < kColumnCount; ++c) {
        out.cells[static_cast<std::size_t>(c)] = CellText(row, c).toStdString();
    }
    return out;
}

ParameterRows CListCtrlExt::Rows() const {
    ParameterRows rows;
    rows.reserve(static_cast<std::size_t>(model_.rowCount()));
    for (int r = 0; r < model_.rowCount(); ++r) {
        rows.push_back(Row(r));
    }
    return rows;
}

int CListCtrlExt::RowCount() const {
    return model_.rowCount();
}

QString CListCtrlExt::CellText(int row, int column) const {
    const QStandardItem* item = model_.item(row, column);
    return item != nullptr ? item->text() : QString();
}

void CListCtrlExt::SetCellText(int row, int column, const QString& text) {
    if (QStandardItem* item = model_.item(row, column)) {
        item->setText(text);
    }
}

bool CListCtrlExt::IsIoFunctionParameter(int row) const {
    const int address = LeadingInteger(CellText(row, kAddressColumn).toStdString());
    return program_ != nullptr && HasIoFunctionPanel(program_->driveCode) &&
           address >= kFirstIoFunction && address <= kLastIoFunction;
}

void CListCtrlExt::OpenIoFunctionPanel(int row) {
    if (ioPanel_ != nullptr) {
        const int address = LeadingInteger(CellText(row, kAddressColumn).toStdString());
        const int value = LeadingInteger(CellText(row, kValueColumn).toStdString());
        ioPanel_->OpenForRow(row, address, CellText(row, kDescriptionColumn),
                             static_cast<std::uint32_t>(value));
    }
    emit ioFunctionPanelOpened(row);
}

bool CListCtrlExt::event(QEvent* event) {
    if (WindowMessage::Is(event, WM_IO_FUNCTION_SET)) {
        const auto* message = static_cast<const WindowMessage*>(event);
        const int row = static_cast<int>(message->WParam() >> 16);
        if (row < RowCount()) {
            // Shown as if typed; the page writes it and shows what the drive reads back.
            SetCellText(row, kValueColumn, QString::number(static_cast<int>(message->LParam())));
            WindowMessage edited(WM_PARAM_EDITED, static_cast<quintptr>(row), kValueColumn);
            QCoreApplication::sendEvent(parentWidget(), &edited);
        }
        return true;
    }
    return QTableView::event(event);
}

void CListCtrlExt::Disarm() {
    markedRow_ = markedColumn_ = -1;
    state_ = CellState::Idle;
}

void CListCtrlExt::mousePressEvent(QMouseEvent* event) {
    if (ioPanel_ != nullptr) {
        ioPanel_->hide(); // a click anywhere in the list drops what the panel held
    }
    if (event->button() != Qt::LeftButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        if (state_ != CellState::Editing) {
            Disarm();
        }
        QTableView::mousePressEvent(event);
        viewport()->update();
        return;
    }
    QTableView::mousePressEvent(event); // selection and focus; ends an open edit
    const int row = index.row();
    const int column = index.column();
    if (state_ == CellState::Armed && row == markedRow_ && column == markedColumn_ &&
        column == kValueColumn) {
        if (IsIoFunctionParameter(row)) {
            OpenIoFunctionPanel(row);
        } else {
            state_ = CellState::Editing;
            if (!edit(index, QAbstractItemView::AllEditTriggers, event)) {
                state_ = CellState::Armed;
            }
        }
        return;
    }
    markedRow_ = row;
    markedColumn_ = column;
    highlightedRow_ = row;
    state_ = CellState::Armed;
    viewport()->update();
}

void CListCtrlExt::EndEdit(int row, const QString& typed) {
    if (ending_ || presenter_ == nullptr) {
        return;
    }
    ending_ = true;
    // A value is written only when it is wholly an integer inside the row's range and what its
    // register holds; "12abc" or 70000 would otherwise reach the drive as 12 or 4464.
    const QString range = CellText(row, kRangeColumn);
    if (!ValueToWrite(Row(row), typed.toStdString())) {
        presenter_->Message(this, "Input value is out of " + range + " range", "Invalid Value",
                            MsgIcon::Exclamation);
    } else {
        SetCellText(row, kValueColumn, typed);
        WindowMessage::Post(parentWidget(), WM_PARAM_EDITED, static_cast<quintptr>(row),
                            kValueColumn);
    }
    ending_ = false;
}

void CListCtrlExt::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableView::closeEditor(editor, hint);
    if (state_ == CellState::Editing) {
        state_ = CellState::Armed;
    }
    // An edit ended by a click elsewhere leaves nothing marked.
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) {
        Disarm();
    }
    viewport()->update();
}

} // namespace kestova
