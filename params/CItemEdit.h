#pragma once

// The edit box of an in-place edit. It sits exactly over the Value cell it edits: whatever
// position and size it is asked to take, it keeps the rectangle the list gave it.

#include <QLineEdit>
#include <QStyledItemDelegate>

namespace kestova {

class CListCtrlExt;

class CItemEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CItemEdit(QWidget* parent = nullptr);

    void SetEditRect(const QRect& rect);
    const QRect& EditRect() const { return editRect_; }

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Pin();

    QRect editRect_;
};

// Draws the list's cells (the highlighted row, the cell under an open edit box) and opens a
// CItemEdit for the Value cell. What the typed text means is the list's business.
class CValueDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CValueDelegate(CListCtrlExt& list);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    // The highlighted row's cells take the highlight colour, over any mark's tint.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    CListCtrlExt& list_;
};

} // namespace kestova
