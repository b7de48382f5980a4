#include "ScriptedPresenter.h"

namespace kttest {

using kestova::MsgButtons;
using kestova::MsgResult;

namespace {

MsgResult FirstButton(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        return MsgResult::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgResult::Yes;
    case MsgButtons::RetryCancel:
        return MsgResult::Retry;
    }
    return MsgResult::Ok;
}

} // namespace

MsgResult ScriptedPresenter::Message(QWidget*, const kestova::MessageRequest& request) {
    seen_.append({Shown::Kind::Message, request, {}, {}});
    if (onMessage) {
        onMessage(request);
    }
    if (!messageAnswers_.empty()) {
        const MsgResult answer = messageAnswers_.front();
        messageAnswers_.pop_front();
        return answer;
    }
    return request.defaultButton.value_or(FirstButton(request.buttons));
}

QString ScriptedPresenter::OpenFileName(QWidget*, const kestova::FileDialogRequest& request) {
    seen_.append({Shown::Kind::OpenFile, {}, request, {}});
    if (fileAnswers_.empty()) {
        return {};
    }
    const QString path = fileAnswers_.front();
    fileAnswers_.pop_front();
    return path;
}

QString ScriptedPresenter::SaveFileName(QWidget*, const kestova::FileDialogRequest& request) {
    seen_.append({Shown::Kind::SaveFile, {}, request, {}});
    if (fileAnswers_.empty()) {
        return {};
    }
    const QString path = fileAnswers_.front();
    fileAnswers_.pop_front();
    return path;
}

std::optional<QColor> ScriptedPresenter::ChooseColor(QWidget*, const QColor& initial) {
    seen_.append({Shown::Kind::Color, {}, {}, initial});
    if (colorAnswers_.empty()) {
        return std::nullopt;
    }
    const auto color = colorAnswers_.front();
    colorAnswers_.pop_front();
    return color;
}

QList<kestova::MessageRequest> ScriptedPresenter::Messages() const {
    QList<kestova::MessageRequest> list;
    for (const Shown& s : seen_) {
        if (s.kind == Shown::Kind::Message) {
            list.append(s.message);
        }
    }
    return list;
}

} // namespace kttest
