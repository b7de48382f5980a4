#pragma once

// Runs the event loop until a condition holds or the bound passes.

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace kttest {

inline bool WaitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace kttest
