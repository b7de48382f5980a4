#pragma once

#include "Presenter.h"

namespace kestova {

// The presenter of the running program: Qt's own dialogs.
class QtPresenter final : public Presenter {
public:
    using Presenter::Message;
    MsgResult Message(QWidget* owner, const MessageRequest& request) override;
    QString OpenFileName(QWidget* owner, const FileDialogRequest& request) override;
    QString SaveFileName(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QColor> ChooseColor(QWidget* owner, const QColor& initial) override;
};

} // namespace kestova
