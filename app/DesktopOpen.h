#pragma once

#include <QString>

namespace kestova {

// Opens a document the way the desktop would: with the launcher registered for its type when
// there is one (xdg-open), else through Qt's own desktop services. False when neither took it;
// the caller decides whether that is worth a word.
bool OpenDocument(const QString& path, const QString& mimeType);

} // namespace kestova
