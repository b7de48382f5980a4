// The parameter page's comparison with a parameter set file: the rows that differ, applied to
// the drive with the page's single write or written into a file.

#include "CCompareDialog.h"
#include "CListCtrlExt.h"
#include "CParameterManage.h"
#include "ParameterCompare.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "ui_Parameters.h"

#include <QFileInfo>

#include <algorithm>

namespace kestova {

using namespace params;

namespace {

// The drive row still the one the comparison named: the list may have been loaded again since.
bool SameRow(const ParameterRows& rows, const RowDifference& d, const ParameterRows& compared) {
    return d.row >= 0 && static_cast<std::size_t>(d.row) < rows.size() &&
           static_cast<std::size_t>(d.row) < compared.size() &&
           rows[static_cast<std::size_t>(d.row)].Cell(kAddressColumn) ==
               compared[static_cast<std::size_t>(d.row)].Cell(kAddressColumn) &&
           rows[static_cast<std::size_t>(d.row)].Cell(kNumberColumn) ==
               compared[static_cast<std::size_t>(d.row)].Cell(kNumberColumn);
}

} // namespace

void CParameterManage::ShowWholeTable() {
    // The whole table is in the list when the filter shows all or a search runs; a pass still
    // reading it is waited for, so every value is the drive's.
    if (ui_->id1037->currentIndex() > 0) {
        ui_->id1037->setCurrentIndex(0); // loads the whole table and reads it
    }
    WaitForTransfer();
}

bool CParameterManage::CompareWithFile() {
    const QString path =
        presenter_.OpenFileName(this, ParameterFileDialog("Compare with File", false));
    if (path.isEmpty()) {
        return false;
    }
    const std::optional<ParameterFileRead> file = ReadCheckedFile(path);
    if (!file) {
        return false;
    }
    ShowWholeTable();
    compareFileRows_ = file->rows;
    compareFileName_ = QFileInfo(path).fileName();
    const ParameterRows driveRows = ui_->id1039->Rows();
    std::vector<RowDifference> differences = params::CompareWithFile(driveRows, compareFileRows_);
    if (differences.empty()) {
        presenter_.Message(this,
                           QString("The drive holds every value of %1.").arg(compareFileName_),
                           "Compare with File", MsgIcon::Information);
        return true;
    }
    delete compare_;
    compare_ = new CCompareDialog(this);
    connect(compare_, &CCompareDialog::applyRequested, this, &CParameterManage::ApplyComparedRows);
    connect(compare_, &CCompareDialog::saveRequested, this, &CParameterManage::SaveComparedRows);
    compare_->SetDifferences(compareFileName_, driveRows, std::move(differences));
    runCompare(*compare_);
    return true;
}

void CParameterManage::ApplyComparedRows() {
    if (compare_ == nullptr) {
        return;
    }
    WaitForTransfer(); // a full pass must not run beside the writes
    CListCtrlExt* list = ui_->id1039;
    const ParameterRows compared = list->Rows();
    QStringList refused;
    JournalWriter journal(JournalPathNow(), "compare"); // the applied rows are one run
    for (const RowDifference& d : compare_->Chosen()) {
        if (!SameRow(list->Rows(), d, compared)) {
            continue;
        }
        // The file's value meets the same check as a typed one, against the drive's own row.
        if (!ValueToWrite(list->Row(d.row), d.fileValue)) {
            refused << QString("%1: Input value is out of %2 range")
                           .arg(list->CellText(d.row, kNumberColumn),
                                list->CellText(d.row, kRangeColumn));
            continue;
        }
        list->SetCellText(d.row, kValueColumn, QString::fromStdString(d.fileValue));
        WriteOneParameter(d.row, journal);
    }
    if (!refused.isEmpty()) {
        presenter_.Message(this, refused.join('\n'), "Invalid Value", MsgIcon::Exclamation);
    }
    // What the drive took drops out; a value it refused stays with what it holds instead.
    const ParameterRows driveRows = list->Rows();
    compare_->SetDifferences(compareFileName_, driveRows,
                             params::CompareWithFile(driveRows, compareFileRows_));
}

void CParameterManage::SaveComparedRows() {
    if (compare_ == nullptr) {
        return;
    }
    const QString path = presenter_.SaveFileName(this, ParameterFileDialog("Save As", true));
    if (path.isEmpty()) {
        return;
    }
    // The rows taken from the file are the file's; any other row must hold what was read.
    const std::vector<RowDifference> chosen = compare_->Chosen();
    int notRead = 0;
    for (int row = 0; row < ui_->id1039->RowCount(); ++row) {
        const bool fromFile = std::any_of(chosen.begin(), chosen.end(),
                                          [row](const RowDifference& d) { return d.row == row; });
        notRead += !fromFile && static_cast<std::size_t>(row) < valueRead_.size() &&
                           !valueRead_[static_cast<std::size_t>(row)]
                       ? 1
                       : 0;
    }
    if (!ConfirmSaveNotRead(notRead)) {
        return;
    }
    const std::string bytes = WriteParameterFile(state_.driveCode, state_.modelName.toStdString(),
                                                 MergeChosen(ui_->id1039->Rows(), chosen));
    if (const auto error = ReplaceFileContents(path.toStdString(), bytes)) {
        presenter_.Message(this,
                           QString("Cannot save %1:\n%2").arg(path, QString::fromStdString(*error)),
                           QString(), MsgIcon::Exclamation);
    }
}

} // namespace kestova
