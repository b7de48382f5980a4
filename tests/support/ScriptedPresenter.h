#pragma once

// A presenter for tests: records every message box and dialog the program would have shown and
// answers from a script, so tests can assert the exact text, caption, icon and buttons.

#include "Presenter.h"

#include <QList>

#include <deque>
#include <functional>

namespace kttest {

class ScriptedPresenter final : public kestova::Presenter {
public:
    struct Shown {
        enum class Kind { Message, OpenFile, SaveFile, Color } kind;
        kestova::MessageRequest message; // for messages
        kestova::FileDialogRequest file; // for file dialogs
        QColor initialColor;             // for the colour dialog
    };

    using Presenter::Message;
    kestova::MsgResult Message(QWidget* owner, const kestova::MessageRequest& request) override;
    QString OpenFileName(QWidget* owner, const kestova::FileDialogRequest& request) override;
    QString SaveFileName(QWidget* owner, const kestova::FileDialogRequest& request) override;
    std::optional<QColor> ChooseColor(QWidget* owner, const QColor& initial) override;

    // Answers, used in order; when a queue is empty: the default button, a cancelled dialog.
    void AnswerMessage(kestova::MsgResult answer) { messageAnswers_.push_back(answer); }
    void AnswerFile(const QString& path) { fileAnswers_.push_back(path); }
    void AnswerColor(std::optional<QColor> color) { colorAnswers_.push_back(color); }

    // Called as each message box would appear, before it is answered.
    std::function<void(const kestova::MessageRequest&)> onMessage;

    const QList<Shown>& Seen() const { return seen_; }
    QList<kestova::MessageRequest> Messages() const;
    void Clear() { seen_.clear(); }

private:
    QList<Shown> seen_;
    std::deque<kestova::MsgResult> messageAnswers_;
    std::deque<QString> fileAnswers_;
    std::deque<std::optional<QColor>> colorAnswers_;
};

} // namespace kttest
