#pragma once

// What the two diagnostics pages share: their drive exchanges run off the interface thread while
// the window keeps painting, Enter does nothing on them, and values are shown as the drive's
// tools have always shown them.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;
class QWidget;

namespace kestova::diag {

// Runs work on a thread of its own and returns when it is done. Meanwhile the window paints and
// timers tick, the person's input is held back and the cursor shows that the page is busy.
void RunPainting(const std::function<void()>& work);

// Keeps Enter from every control of a page, so that it neither presses a button nor reaches the
// main window.
void SwallowEnter(QWidget* page);

// The text of a field as the number checks read it.
std::string FieldText(const QLineEdit* field);

// "%X" and "%d" of a 32-bit value.
QString HexText(std::uint32_t value);
QString DecText(std::uint32_t value);

} // namespace kestova::diag
