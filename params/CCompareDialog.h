#pragma once

// The rows in which the drive and a parameter set file disagree: Par. #, description, the drive's
// value and the file's, each row with a tick. The ticked rows are applied to the drive or written
// into a file by the page, which the dialog asks through its signals.

#include "ParameterCompare.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace kestova {

class CCompareDialog : public QDialog {
    Q_OBJECT
public:
    explicit CCompareDialog(QWidget* parent = nullptr);

    void SetDifferences(const QString& fileName, const params::ParameterRows& driveRows,
                        std::vector<params::RowDifference> differences);
    // The ticked differences, in the list's order.
    std::vector<params::RowDifference> Chosen() const;
    void SetAllTicked(bool on);

    QTreeWidget* Rows() const { return rows_; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* SaveButton() const { return save_; }

signals:
    void applyRequested();
    void saveRequested();

private:
    void UpdateButtons();

    QLabel* heading_ = nullptr;
    QTreeWidget* rows_ = nullptr;
    QPushButton* selectAll_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* save_ = nullptr;
    std::vector<params::RowDifference> differences_;
};

} // namespace kestova
