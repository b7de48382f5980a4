#include "CCompareDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestova {

using namespace params;

namespace {

enum CompareColumn : int { kNumber, kDescription, kDrive, kFile };

} // namespace

CCompareDialog::CCompareDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("compareDialog");
    setWindowTitle(tr("Compare with File"));
    resize(640, 420);
    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    heading_->setWordWrap(true);
    layout->addWidget(heading_);

    rows_ = new QTreeWidget(this);
    rows_->setRootIsDecorated(false);
    rows_->setHeaderLabels({tr("Par. #"), tr("Description"), tr("Drive"), tr("File")});
    rows_->header()->resizeSection(kNumber, 80);
    rows_->header()->resizeSection(kDescription, 300);
    rows_->header()->resizeSection(kDrive, 100);
    layout->addWidget(rows_);
    connect(rows_, &QTreeWidget::itemChanged, this, &CCompareDialog::UpdateButtons);

    auto* buttons = new QDialogButtonBox(this);
    selectAll_ = buttons->addButton(tr("Select All"), QDialogButtonBox::ActionRole);
    apply_ = buttons->addButton(tr("Apply to Drive"), QDialogButtonBox::ApplyRole);
    save_ = buttons->addButton(tr("Save to File..."), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    apply_->setAutoDefault(false);
    connect(selectAll_, &QPushButton::clicked, this, [this] { SetAllTicked(true); });
    connect(apply_, &QPushButton::clicked, this, &CCompareDialog::applyRequested);
    connect(save_, &QPushButton::clicked, this, &CCompareDialog::saveRequested);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateButtons();
}

void CCompareDialog::SetDifferences(const QString& fileName, const ParameterRows& driveRows,
                                    std::vector<RowDifference> differences) {
    differences_ = std::move(differences);
    heading_->setText(differences_.empty()
                          ? tr("The drive now holds every value of %1.").arg(fileName)
                          : tr("%n row(s) in which the drive differs from %1. Tick the rows to "
                               "apply to the drive or to save into a file.",
                               nullptr, static_cast<int>(differences_.size()))
                                .arg(fileName));
    const QSignalBlocker quiet(rows_);
    rows_->clear();
    for (const RowDifference& d : differences_) {
        const ParameterRow& row = driveRows[static_cast<std::size_t>(d.row)];
        auto* item = new QTreeWidgetItem(
            rows_, {QString::fromStdString(row.Cell(kNumberColumn)),
                    QString::fromStdString(row.Cell(kDescriptionColumn)),
                    QString::fromStdString(d.driveValue), QString::fromStdString(d.fileValue)});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(kNumber, Qt::Unchecked);
    }
    UpdateButtons();
}

std::vector<RowDifference> CCompareDialog::Chosen() const {
    std::vector<RowDifference> chosen;
    for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
        if (rows_->topLevelItem(i)->checkState(kNumber) == Qt::Checked) {
            chosen.push_back(differences_[static_cast<std::size_t>(i)]);
        }
    }
    return chosen;
}

void CCompareDialog::SetAllTicked(bool on) {
    const QSignalBlocker quiet(rows_);
    for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
        rows_->topLevelItem(i)->setCheckState(kNumber, on ? Qt::Checked : Qt::Unchecked);
    }
    UpdateButtons();
}

void CCompareDialog::UpdateButtons() {
    const bool any = !Chosen().empty();
    apply_->setEnabled(any);
    save_->setEnabled(any);
    selectAll_->setEnabled(rows_->topLevelItemCount() > 0);
}

} // namespace kestova
