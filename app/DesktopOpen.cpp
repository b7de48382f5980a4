#include "DesktopOpen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace kestova {

namespace {

// True when the desktop names an application for the type. xdg-mime is a short script; it is
// given a bound all the same, since the window waits for it.
bool HasLauncherFor(const QString& mimeType) {
    const QString query = QStandardPaths::findExecutable("xdg-mime");
    if (query.isEmpty()) {
        return false;
    }
    QProcess process;
    process.start(query, {"query", "default", mimeType});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           !process.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

bool OpenDocument(const QString& path, const QString& mimeType) {
    const QString open = QStandardPaths::findExecutable("xdg-open");
    if (!open.isEmpty() && HasLauncherFor(mimeType) && QProcess::startDetached(open, {path})) {
        return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace kestova
