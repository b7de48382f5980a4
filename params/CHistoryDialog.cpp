#include "CHistoryDialog.h"

#include "CListMarks.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestova {

using namespace params;

namespace {

enum HistoryColumn : int { kRun, kTime, kNumber, kRegister, kOld, kNew, kSource, kStored };

QString DamageText(const JournalRead& read) {
    QStringList lines;
    for (const JournalDamage& d : read.damaged) {
        lines << QString::number(d.line);
    }
    return QObject::tr("%n damaged entry(s) skipped (line %1).", nullptr,
                       static_cast<int>(read.damaged.size()))
        .arg(lines.join(", "));
}

} // namespace

CHistoryDialog::CHistoryDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("historyDialog");
    setWindowTitle(tr("History"));
    resize(720, 440);
    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    heading_->setWordWrap(true);
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(heading_);

    entries_ = new QTreeWidget(this);
    entries_->setRootIsDecorated(false);
    entries_->setSelectionMode(QAbstractItemView::SingleSelection);
    entries_->setHeaderLabels({tr("Run"), tr("Time (UTC)"), tr("Par. #"), tr("Register"), tr("Old"),
                               tr("New"), tr("Source"), tr("Stored")});
    entries_->header()->resizeSection(kRun, 45);
    entries_->header()->resizeSection(kTime, 160);
    entries_->header()->resizeSection(kNumber, 70);
    entries_->header()->resizeSection(kRegister, 70);
    entries_->header()->resizeSection(kOld, 80);
    entries_->header()->resizeSection(kNew, 80);
    entries_->header()->resizeSection(kSource, 80);
    layout->addWidget(entries_);
    connect(entries_, &QTreeWidget::itemSelectionChanged, this, &CHistoryDialog::UpdateButtons);

    auto* buttons = new QDialogButtonBox(this);
    undoLast_ = buttons->addButton(tr("Undo Last Change"), QDialogButtonBox::ActionRole);
    undoRun_ = buttons->addButton(tr("Undo Selected Run"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    undoLast_->setAutoDefault(false);
    undoRun_->setAutoDefault(false);
    connect(undoLast_, &QPushButton::clicked, this, [this] {
        if (const auto last = LastChangingRun(runs_)) {
            emit undoRequested(*last);
        }
    });
    connect(undoRun_, &QPushButton::clicked, this, [this] {
        if (const auto run = SelectedRun()) {
            emit undoRequested(*run);
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateButtons();
}

void CHistoryDialog::SetJournal(const QString& path, const JournalRead& read) {
    read_ = read;
    runs_ = JournalRuns(read_.entries);
    runOf_.assign(read_.entries.size(), 0);
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        for (const std::size_t i : runs_[r].entries) {
            runOf_[i] = r;
        }
    }
    QString heading = read_.problem ? tr("The change journal %1 could not be read: %2.")
                                          .arg(path, QString::fromStdString(*read_.problem))
                      : read_.entries.empty()
                          ? tr("No change has been journalled for this drive (%1).").arg(path)
                          : tr("Every value written to this drive, oldest first (%1). Values "
                               "not stored yet are marked: they are lost at power-off.")
                                .arg(path);
    if (!read_.damaged.empty()) {
        heading += ' ' + DamageText(read_);
    }
    heading_->setText(heading);

    const QSignalBlocker quiet(entries_);
    entries_->clear();
    for (std::size_t i = 0; i < read_.entries.size(); ++i) {
        const JournalEntry& e = read_.entries[i];
        const bool value = IsParameterEntry(e);
        auto* item = new QTreeWidgetItem(
            entries_,
            {QString::number(runOf_[i] + 1), QString::fromStdString(e.time),
             value ? QString::fromStdString(e.number)
                   : QString("(%1)").arg(QString::fromStdString(e.source)),
             QString::number(e.address),
             value ? QString::fromStdString(e.oldValue.value_or("(not read)")) : QString(),
             QString::fromStdString(e.newValue), QString::fromStdString(e.source),
             e.stored ? tr("yes") : tr("no")});
        if (value && !e.stored) {
            for (int c = 0; c < entries_->columnCount(); ++c) {
                item->setBackground(c, CListMarks::kUnstored);
            }
        }
    }
    if (entries_->topLevelItemCount() > 0) {
        entries_->scrollToItem(entries_->topLevelItem(entries_->topLevelItemCount() - 1));
    }
    UpdateButtons();
}

std::optional<std::size_t> CHistoryDialog::SelectedRun() const {
    const QList<QTreeWidgetItem*> selected = entries_->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    const int index = entries_->indexOfTopLevelItem(selected.front());
    if (index < 0 || static_cast<std::size_t>(index) >= runOf_.size()) {
        return std::nullopt;
    }
    const std::size_t run = runOf_[static_cast<std::size_t>(index)];
    return runs_[run].changesValues ? std::optional<std::size_t>(run) : std::nullopt;
}

void CHistoryDialog::UpdateButtons() {
    undoLast_->setEnabled(LastChangingRun(runs_).has_value());
    undoRun_->setEnabled(SelectedRun().has_value());
}

} // namespace kestova
