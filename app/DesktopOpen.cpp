#include "DesktopOpen.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace kestova {

namespace {

enum class Launcher { Named, None, Unknown };

// Whether the desktop names an application for the type; Unknown without xdg-mime or when it
// fails. xdg-mime is a short script; it is given a bound all the same, since the window waits
// for it.
Launcher LauncherFor(const QString& mimeType) {
    const QString query = QStandardPaths::findExecutable("xdg-mime");
    if (query.isEmpty()) {
        return Launcher::Unknown;
    }
    QProcess process;
    process.start(query, {"query", "default", mimeType});
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(1000);
        return Launcher::Unknown;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return Launcher::Unknown;
    }
    return process.readAllStandardOutput().trimmed().isEmpty() ? Launcher::None : Launcher::Named;
}

} // namespace

bool OpenDocument(const QString& path, const QString& mimeType) {
    const Launcher launcher = LauncherFor(mimeType);
    if (launcher == Launcher::None) {
        // Qt's desktop services would start xdg-open all the same and call that a success,
        // while xdg-open finds nothing to show the file with.
        return false;
    }
    const QString open = QStandardPaths::findExecutable("xdg-open");
    if (launcher == Launcher::Named && !open.isEmpty() && QProcess::startDetached(open, {path})) {
        return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace kestova
