#pragma once

// The parameter list: a report-style table that is itself the model of record (the hidden first
// column carries each row's register address), with a cell selection and in-place editing of
// the Value column.
//
// A click on a cell marks it and highlights its row (Armed). A second click on the marked Value
// cell opens the edit box over that cell (Editing), or, for the IO function parameters of the
// drives that have them, the IO function panel. Enter or leaving the box ends the edit with its
// text, Escape cancels it. A whole number inside the row's Range and its register's width is
// shown as typed and reported to the page with WM_PARAM_EDITED (row, 3); any other text is
// refused with the range message.

#include "ParameterRules.h"

#include <QStandardItemModel>
#include <QTableView>

namespace kestova {

class CIOSettings;
class Presenter;
class ProgramState;

// The list's cells. Description and Note, which share what the short columns leave, carry their
// whole text as their tool tip, for a view too narrow to show it.
class ListCells final : public QStandardItemModel {
public:
    using QStandardItemModel::QStandardItemModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

class CListCtrlExt : public QTableView {
    Q_OBJECT
public:
    enum class CellState { Idle, Armed, Editing };

    explicit CListCtrlExt(QWidget* parent = nullptr);

    // Gives the list the drive values it looks at and the seam for its messages, and creates the
    // IO function panel, hidden.
    void Attach(const ProgramState& state, Presenter& presenter);
    CIOSettings* IoPanel() const { return ioPanel_; }

    // Rows and cells.
    void DeleteAllItems();
    void SetRows(const params::ParameterRows& rows);
    params::ParameterRows Rows() const; // a copy, for a worker thread
    params::ParameterRow Row(int row) const;
    int RowCount() const;
    QString CellText(int row, int column) const;
    void SetCellText(int row, int column, const QString& text);

    // The short columns (Par. #, Value, Range, Unit) take their widest text; Description and Note
    // share the rest of the view. Done for new rows and a new size.
    void FitColumns();

    // The cell selection.
    CellState State() const { return state_; }
    int MarkedRow() const { return markedRow_; }
    int MarkedColumn() const { return markedColumn_; }
    int HighlightedRow() const { return highlightedRow_; }
    int EditedRow() const { return state_ == CellState::Editing ? markedRow_ : -1; }

    // Opens the IO function panel for a row, with the row's address, description and value.
    void OpenIoFunctionPanel(int row);

    // Called by the edit box's delegate when an edit ends with a text.
    void EndEdit(int row, const QString& typed);

signals:
    // The second click on an IO function parameter's Value cell.
    void ioFunctionPanelOpened(int row);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    bool IsIoFunctionParameter(int row) const;
    void Disarm();

    ListCells model_;
    const ProgramState* program_ = nullptr;
    Presenter* presenter_ = nullptr;
    CIOSettings* ioPanel_ = nullptr;
    CellState state_ = CellState::Idle;
    int markedRow_ = -1;
    int markedColumn_ = -1;
    int highlightedRow_ = -1;
    bool ending_ = false; // an edit is being judged; a second end (focus lost) is the same edit
};

} // namespace kestova
