#include "CListMarks.h"

#include "CListCtrlExt.h"

#include <QBrush>

namespace kestova {

using namespace params;

const QColor CListMarks::kDefaultDiffers(255, 244, 196);
const QColor CListMarks::kUnstored(255, 204, 160);

namespace {

ParameterRow RowAt(const CListCtrlExt& list, int row) {
    ParameterRow out;
    for (const Column c : {kAddressColumn, kNumberColumn, kDescriptionColumn, kValueColumn}) {
        out.Cell(c) = list.CellText(row, c).toStdString();
    }
    return out;
}

} // namespace

CListMarks::CListMarks(CListCtrlExt& list) : QObject(&list), list_(list) {
    QAbstractItemModel* model = list_.model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row) {
                    Refresh(row);
                }
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles) {
                // Only a new text matters; the marks' own roles come through here as well.
                if (topLeft.column() > kValueColumn || bottomRight.column() < kValueColumn ||
                    !(roles.isEmpty() || roles.contains(Qt::DisplayRole))) {
                    return;
                }
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                    Refresh(row);
                }
            });
}

void CListMarks::SetDefaults(const ParameterRows& tableRows) {
    marks_.SetDefaults(tableRows);
    RefreshAll();
}

void CListMarks::MarkWritten(int row) {
    if (row >= 0 && row < list_.RowCount()) {
        marks_.MarkWritten(RowAt(list_, row));
        Refresh(row);
    }
}

void CListMarks::MarkWrittenUpTo(int rowCount) {
    for (int row = 0; row < rowCount && row < list_.RowCount(); ++row) {
        MarkWritten(row);
    }
}

void CListMarks::Stored() {
    marks_.Stored();
    RefreshAll();
}

bool CListMarks::DiffersFromDefault(int row) const {
    return marks_.DiffersFromDefault(RowAt(list_, row));
}

bool CListMarks::IsUnstored(int row) const {
    return marks_.IsUnstored(RowAt(list_, row));
}

void CListMarks::RefreshAll() {
    for (int row = 0; row < list_.RowCount(); ++row) {
        Refresh(row);
    }
}

void CListMarks::Refresh(int row) {
    const ParameterRow cells = RowAt(list_, row);
    const bool differs = marks_.DiffersFromDefault(cells);
    const bool unstored = marks_.IsUnstored(cells);
    QStringList tips;
    if (differs) {
        tips << tr("Differs from the default (%1)")
                    .arg(QString::fromStdString(marks_.DefaultOf(cells)));
    }
    if (unstored) {
        tips << tr("Written since the last store: in the drive's working memory only, lost at "
                   "power-off until Write to Drive");
    }
    QAbstractItemModel* model = list_.model();
    const QModelIndex value = model->index(row, kValueColumn);
    const QVariant tint = unstored  ? QVariant(QBrush(kUnstored))
                          : differs ? QVariant(QBrush(kDefaultDiffers))
                                    : QVariant();
    if (model->data(value, Qt::BackgroundRole) != tint) {
        model->setData(value, tint, Qt::BackgroundRole);
    }
    const QVariant tip = tips.isEmpty() ? QVariant() : QVariant(tips.join('\n'));
    if (model->data(value, Qt::ToolTipRole) != tip) {
        model->setData(value, tip, Qt::ToolTipRole);
    }
}

} // namespace kestova
