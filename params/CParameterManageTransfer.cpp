// The parameter page's full transfers: the read and the download on a worker thread, which rows
// a download may write, and what the page says when a transfer did not do every row.

#include "BusyCursor.h"
#include "CListCtrlExt.h"
#include "CListMarks.h"
#include "CParameterManage.h"
#include "JournalledTransfer.h"
#include "Presenter.h"
#include "ProgramState.h"
#include "WritableRows.h"
#include "ui_Parameters.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProgressBar>

#include <algorithm>
#include <numeric>

namespace kestova {

using namespace params;

namespace {

// Past this many rows a message names the first ones and counts the rest.
constexpr std::size_t kNamedRows = 20;

} // namespace

void CParameterManage::ReadAllParameters() {
    const int count = ui_->id1039->RowCount();
    std::vector<int> listRows(static_cast<std::size_t>(count));
    std::iota(listRows.begin(), listRows.end(), 0);
    StartTransfer(Transfer::Read, ui_->id1039->Rows(), std::move(listRows));
}

void CParameterManage::DownloadAllParameters() {
    if (state_.driveCode == 0) {
        return; // no drive: there is nothing to write to
    }
    std::optional<std::vector<int>> listRows = RowsToDownload();
    if (!listRows) {
        return;
    }
    ParameterRows rows;
    for (const int row : *listRows) {
        rows.push_back(ui_->id1039->Row(row));
    }
    StartTransfer(Transfer::Download, std::move(rows), std::move(*listRows));
}

std::optional<std::vector<int>> CParameterManage::RowsToDownload() {
    StopTransfer(); // the rows are judged and then written as they stand
    const ParameterRows rows = ui_->id1039->Rows();
    const ParameterRows table =
        LoadParameterRows(state_.Db(), TableName().toStdString(), "All").rows;
    const std::vector<RowRefusal> refused = RowsNotWritable(rows, table);
    std::vector<int> kept;
    WritableRows(rows, refused, kept);
    if (refused.empty()) {
        return kept;
    }
    QStringList reasons;
    for (const RowRefusal& r : refused) {
        if (static_cast<std::size_t>(reasons.size()) == kNamedRows) {
            reasons << QString("and %1 more").arg(refused.size() - kNamedRows);
            break;
        }
        reasons << QString::fromStdString(r.reason);
    }
    const QString listed = reasons.join('\n');
    if (kept.empty()) {
        presenter_.Message(this, "These rows cannot be written to the drive:\n" + listed,
                           "Download to Drive", MsgIcon::Exclamation);
        return std::nullopt;
    }
    const QString others = kept.size() == 1
                               ? QString("Write the other parameter?")
                               : QString("Write the other %1 parameters?").arg(kept.size());
    const MsgResult answer = presenter_.Message(
        this, "These rows cannot be written to the drive:\n" + listed + "\n\n" + others,
        "Download to Drive", MsgIcon::Warning, MsgButtons::YesNo, MsgResult::No);
    if (answer != MsgResult::Yes) {
        return std::nullopt;
    }
    return kept;
}

void CParameterManage::StopTransfer() {
    cancel_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
    cancel_ = false;
    transferRunning_ = false;
    ++pass_; // whatever the stopped pass still has in the queue is dropped
}

void CParameterManage::StartTransfer(Transfer kind, ParameterRows rows, std::vector<int> listRows) {
    StopTransfer();
    const quint64 pass = pass_;
    passRows_ = std::move(listRows);
    passFailed_.clear();
    valueRead_.resize(static_cast<std::size_t>(ui_->id1039->RowCount()), false);
    if (kind == Transfer::Read) {
        for (const int row : passRows_) {
            SetValueRead(row, false);
        }
    }
    QPointer<CParameterManage> page(this);
    // Runs on this thread, and only for the pass still in hand.
    auto post = [page, pass](auto apply) {
        QMetaObject::invokeMethod(
            page.data(),
            [page, pass, apply] {
                if (page && page->pass_ == pass) {
                    apply(*page);
                }
            },
            Qt::QueuedConnection);
    };
    TransferEvents events;
    events.started = [post](int rowCount) {
        post([rowCount](CParameterManage& p) {
            p.ui_->id1040->setRange(0, rowCount);
            p.ui_->id1040->setValue(0);
        });
    };
    events.value = [post](int row, std::string text) {
        post([row, text = QString::fromStdString(text)](CParameterManage& p) {
            const int listRow = p.passRows_.at(static_cast<std::size_t>(row));
            p.ui_->id1039->SetCellText(listRow, kValueColumn, text);
            p.SetValueRead(listRow, true);
        });
    };
    events.failed = [post](int row) {
        post([row](CParameterManage& p) {
            p.passFailed_.insert(row);
            p.SetValueRead(p.passRows_.at(static_cast<std::size_t>(row)), false);
        });
    };
    events.progress = [post, kind](int done) {
        post([done, kind](CParameterManage& p) {
            p.ui_->id1040->setValue(done);
            // A row is in the drive's working memory once its write was answered.
            if (kind == Transfer::Download && p.passFailed_.count(done - 1) == 0) {
                p.marks_->MarkWritten(p.passRows_.at(static_cast<std::size_t>(done - 1)));
            }
        });
    };
    // A download reads the rows first for the journal: that pass only moves the bar.
    TransferEvents reading;
    reading.started = events.started;
    reading.progress = [post](int done) {
        post([done](CParameterManage& p) { p.ui_->id1040->setValue(done); });
    };
    transferRunning_ = true;
    auto journal = std::make_shared<JournalWriter>(
        kind == Transfer::Download ? JournalPathNow() : std::string(), "download");
    worker_ = std::thread([this, kind, post, events, reading, journal, rows = std::move(rows),
                           station = state_.station, &link = state_.Link()] {
        if (kind == Transfer::Read) {
            const PassReport report =
                params::ReadAllParameters(link, station, rows, cancel_, events);
            post([kind, report](CParameterManage& p) { p.TransferDone(kind, report); });
            return;
        }
        const PassReport report =
            DownloadJournalled(link, station, rows, cancel_, reading, events, *journal);
        post([kind, report, journal](CParameterManage& p) {
            p.TellJournalFailure(*journal);
            p.TransferDone(kind, report);
        });
    });
}

void CParameterManage::TransferDone(Transfer kind, const PassReport& report) {
    transferRunning_ = false;
    std::vector<int> failed;
    for (const int row : report.failedRows) {
        failed.push_back(passRows_.at(static_cast<std::size_t>(row)));
    }
    const QString stop =
        report.end == PassEnd::LinkFailed
            ? QString("The drive stopped answering at parameter %1. ")
                  .arg(RowName(passRows_.at(static_cast<std::size_t>(report.stoppedAt))))
            : QString();
    if (kind == Transfer::Read && report.end == PassEnd::LinkFailed) {
        // Rows read before the stop keep the drive's values; those from it on show the failure
        // value, never a default that would look read.
        const qsizetype left = std::count_if(report.failedRows.begin(), report.failedRows.end(),
                                             [&](int row) { return row >= report.stoppedAt; });
        const QString after =
            left == 1   ? QString("It was not read: it shows")
            : left == 2 ? QString("It and the parameter after it were not read: they show")
                        : QString("It and the %1 parameters after it were not read: they show")
                              .arg(left - 1);
        Report(stop + after + " the failure value, not the drive's.", "Read Parameters");
    } else if (kind == Transfer::Download && !failed.empty()) {
        Report(stop + "These parameters were not written: " + RowNames(failed) + ".",
               "Download to Drive");
    }
    emit transferEnded(report.end);
}

void CParameterManage::Report(const QString& text, const QString& caption) {
    auto show = [this, text, caption] { presenter_.Message(this, text, caption, MsgIcon::Error); };
    if (holdReports_) {
        heldReports_.push_back(show);
    } else {
        show();
    }
}

void CParameterManage::HoldTransferReports(bool hold) {
    holdReports_ = hold;
    if (!hold) {
        const std::vector<std::function<void()>> held = std::move(heldReports_);
        heldReports_.clear();
        for (const auto& show : held) {
            show();
        }
    }
}

void CParameterManage::SetValueRead(int row, bool read) {
    if (row >= 0 && static_cast<std::size_t>(row) < valueRead_.size()) {
        valueRead_[static_cast<std::size_t>(row)] = read;
    }
}

int CParameterManage::RowsNotRead() const {
    return static_cast<int>(std::count(valueRead_.begin(), valueRead_.end(), false));
}

bool CParameterManage::ConfirmSaveNotRead(int notRead) {
    if (notRead == 0) {
        return true;
    }
    const QString what = notRead == 1
                             ? QString("1 parameter was not read from the drive")
                             : QString("%1 parameters were not read from the drive").arg(notRead);
    return presenter_.Message(this,
                              what + ": the list shows values that are not the drive's. Save "
                                     "the file anyway?",
                              "Save As", MsgIcon::Warning, MsgButtons::YesNo,
                              MsgResult::No) == MsgResult::Yes;
}

QString CParameterManage::RowName(int row) const {
    const CListCtrlExt* list = ui_->id1039;
    const QString number = list->CellText(row, kNumberColumn);
    const QString description = list->CellText(row, kDescriptionColumn);
    return description.isEmpty() ? number : number + " (" + description + ")";
}

QString CParameterManage::RowNames(const std::vector<int>& rows) const {
    QStringList names;
    for (const int row : rows) {
        if (static_cast<std::size_t>(names.size()) == kNamedRows) {
            names << QString("and %1 more").arg(rows.size() - kNamedRows);
            break;
        }
        names << ui_->id1039->CellText(row, kNumberColumn);
    }
    return names.join(", ");
}

void CParameterManage::WaitForTransfer() {
    if (!transferRunning_) {
        return;
    }
    // What the pass has to say at its end waits until the busy cursor is gone.
    const bool held = holdReports_;
    holdReports_ = true;
    {
        const BusyCursor busy;
        // The pass posts each row as it goes, so the list and the progress bar keep moving; it
        // ends with its end posted, or stopped by a new filter or the link going down.
        while (transferRunning_) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                            QEventLoop::ExcludeUserInputEvents);
        }
    }
    HoldTransferReports(held);
}

} // namespace kestova
