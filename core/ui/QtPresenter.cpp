#include "QtPresenter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace kestova {

namespace {

QMessageBox::Icon ToQt(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Exclamation:
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ToQt(MsgResult result) {
    switch (result) {
    case MsgResult::Ok:
        return QMessageBox::Ok;
    case MsgResult::Cancel:
        return QMessageBox::Cancel;
    case MsgResult::Yes:
        return QMessageBox::Yes;
    case MsgResult::No:
        return QMessageBox::No;
    case MsgResult::Retry:
        return QMessageBox::Retry;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons ToQt(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

MsgResult FromQt(int button) {
    switch (button) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    case QMessageBox::Retry:
        return MsgResult::Retry;
    default:
        return MsgResult::Ok;
    }
}

// Empty when cancelled.
QString RunFileDialog(QWidget* owner, const FileDialogRequest& request,
                      QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner, request.title, request.initialPath, request.filters.join(";;"));
    dialog.setAcceptMode(mode);
    if (mode == QFileDialog::AcceptOpen) {
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else if (!request.confirmOverwrite) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

MsgResult QtPresenter::Message(QWidget* owner, const MessageRequest& request) {
    QMessageBox box(ToQt(request.icon),
                    request.caption.isEmpty() ? QApplication::applicationName() : request.caption,
                    request.text, ToQt(request.buttons), owner);
    if (request.defaultButton) {
        box.setDefaultButton(ToQt(*request.defaultButton));
    }
    return FromQt(box.exec());
}

QString QtPresenter::OpenFileName(QWidget* owner, const FileDialogRequest& request) {
    return RunFileDialog(owner, request, QFileDialog::AcceptOpen);
}

QString QtPresenter::SaveFileName(QWidget* owner, const FileDialogRequest& request) {
    return RunFileDialog(owner, request, QFileDialog::AcceptSave);
}

std::optional<QColor> QtPresenter::ChooseColor(QWidget* owner, const QColor& initial) {
    const QColor chosen = QColorDialog::getColor(initial, owner);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return chosen;
}

} // namespace kestova
