#pragma once

#include <QString>

namespace kestova {

// Opens a document the way the desktop would: with the launcher registered for its type when
// there is one (xdg-open). False when the desktop has none for the type; where the desktop
// cannot tell, Qt's own desktop services are asked, and false when they did not take it.
bool OpenDocument(const QString& path, const QString& mimeType);

} // namespace kestova
