#pragma once

// The busy cursor over work that holds the window while the drive answers: a connect, a store,
// a single write, a poll. Nested uses stack; each restores what it set.

#include <QApplication>
#include <QCursor>

namespace kestova {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { End(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    // Ends it early, before a message box, so the person answers with the usual pointer.
    void End() {
        if (active_) {
            active_ = false;
            QApplication::restoreOverrideCursor();
        }
    }

private:
    bool active_ = true;
};

} // namespace kestova
