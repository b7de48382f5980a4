#pragma once

// The program's private messages, posted between its parts as Qt events whose type is the
// message number, carrying the two message words.

#include <QCoreApplication>
#include <QEvent>

namespace kestova {

constexpr unsigned WM_LINK_NOTIFY = 0x7E8;
constexpr unsigned WM_WAVE_READY = 0x7E9;
constexpr unsigned WM_IO_FUNCTION_SET = 0x7EA;
constexpr unsigned WM_PARAM_EDITED = 0x2B0F;
constexpr unsigned WM_SCOPE_COLOR = 0x04C8;

class WindowMessage : public QEvent {
public:
    WindowMessage(unsigned message, quintptr wParam, qintptr lParam)
        : QEvent(static_cast<QEvent::Type>(message)), wParam_(wParam), lParam_(lParam) {}

    unsigned Message() const { return static_cast<unsigned>(type()); }
    quintptr WParam() const { return wParam_; }
    qintptr LParam() const { return lParam_; }

    // Queues the message for the receiver's thread; safe from any thread.
    static void Post(QObject* receiver, unsigned message, quintptr wParam, qintptr lParam) {
        QCoreApplication::postEvent(receiver, new WindowMessage(message, wParam, lParam));
    }

    static bool Is(const QEvent* event, unsigned message) {
        return static_cast<unsigned>(event->type()) == message;
    }

private:
    quintptr wParam_;
    qintptr lParam_;
};

} // namespace kestova
