#pragma once

// Every message box, file dialog and colour dialog of the program goes through a Presenter. The
// program runs with QtPresenter; tests install a scripted one that records what would have been
// shown and answers for the user.

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace kestova {

enum class MsgIcon { None, Information, Exclamation, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MsgResult { Ok, Cancel, Yes, No, Retry };

struct MessageRequest {
    QString text;
    QString caption; // empty: the program's name, as a message box without caption shows
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    std::optional<MsgResult> defaultButton; // none: the first button
};

struct FileDialogRequest {
    QString title;
    QStringList filters;   // "ktr Files(*.ktr)", "All Files(*.*)"
    QString defaultSuffix; // "ktr"
    QString initialPath;
    bool confirmOverwrite = true; // save dialogs only
};

class Presenter {
public:
    virtual ~Presenter() = default;
    virtual MsgResult Message(QWidget* owner, const MessageRequest& request) = 0;
    // Empty when cancelled.
    virtual QString OpenFileName(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual QString SaveFileName(QWidget* owner, const FileDialogRequest& request) = 0;
    // Nothing when cancelled.
    virtual std::optional<QColor> ChooseColor(QWidget* owner, const QColor& initial) = 0;

    // Shorthand for the common one-button message.
    MsgResult Message(QWidget* owner, const QString& text, const QString& caption, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok,
                      std::optional<MsgResult> defaultButton = std::nullopt) {
        return Message(owner, MessageRequest{text, caption, icon, buttons, defaultButton});
    }
};

} // namespace kestova
