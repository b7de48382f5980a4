#include "CItemEdit.h"

#include "CListCtrlExt.h"

#include <QPainter>

namespace kestova {

namespace {
const QColor kHighlight(0, 250, 128);
}

CItemEdit::CItemEdit(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
}

void CItemEdit::SetEditRect(const QRect& rect) {
    editRect_ = rect;
    Pin();
}

void CItemEdit::Pin() {
    if (!editRect_.isNull() && geometry() != editRect_) {
        setGeometry(editRect_);
    }
}

void CItemEdit::moveEvent(QMoveEvent* event) {
    QLineEdit::moveEvent(event);
    Pin();
}

void CItemEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    Pin();
}

CValueDelegate::CValueDelegate(CListCtrlExt& list) : QStyledItemDelegate(&list), list_(list) {}

void CValueDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    if (index.row() == list_.EditedRow() && index.column() == params::kValueColumn) {
        // Under the edit box: what the box leaves of the cell shows the window colour.
        painter->fillRect(option.rect, option.palette.base());
        return;
    }
    QStyleOptionViewItem cell = option;
    cell.state &= ~QStyle::State_HasFocus;
    cell.palette.setColor(QPalette::Text, Qt::black);
    cell.palette.setColor(QPalette::HighlightedText, Qt::black);
    if (index.row() == list_.HighlightedRow()) {
        cell.state &= ~QStyle::State_Selected;
        painter->fillRect(option.rect, kHighlight);
    }
    QStyledItemDelegate::paint(painter, cell, index);
}

void CValueDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.row() == list_.HighlightedRow()) {
        option->backgroundBrush = QBrush(kHighlight);
    }
}

QWidget* CValueDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                      const QModelIndex&) const {
    return new CItemEdit(parent);
}

void CValueDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static_cast<CItemEdit*>(editor)->setText(index.data().toString());
}

void CValueDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                  const QModelIndex& index) const {
    list_.EndEdit(index.row(), static_cast<CItemEdit*>(editor)->text());
}

void CValueDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                          const QModelIndex&) const {
    static_cast<CItemEdit*>(editor)->SetEditRect(option.rect);
}

} // namespace kestova
