#pragma once

// The marks of the parameter list's Value cells: a tint and a tool tip on a value that differs
// from the model's default, another on a value written since the drive's last store. The marks
// follow the cells: a new value in a Value cell, from a read, an edit or a file, is judged again
// as it arrives. Texts are never touched.

#include "ParameterMarks.h"

#include <QColor>
#include <QObject>

namespace kestova {

class CListCtrlExt;

class CListMarks : public QObject {
    Q_OBJECT
public:
    static const QColor kDefaultDiffers;
    static const QColor kUnstored;

    explicit CListMarks(CListCtrlExt& list);

    void SetDefaults(const params::ParameterRows& tableRows);
    void MarkWritten(int row);
    // Rows 0 .. rowCount-1 were written by a download.
    void MarkWrittenUpTo(int rowCount);
    // The drive stored its working memory (or a new connection started).
    void Stored();

    bool DiffersFromDefault(int row) const;
    bool IsUnstored(int row) const;

private:
    void Refresh(int row);
    void RefreshAll();

    CListCtrlExt& list_;
    params::ParameterMarks marks_;
};

} // namespace kestova
