#include "PageSupport.h"

#include "BusyCursor.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <thread>

namespace kestova::diag {

namespace {

class EnterFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void RunPainting(const std::function<void()>& work) {
    const BusyCursor busy;
    QEventLoop loop;
    std::thread worker([&work, &loop] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

void SwallowEnter(QWidget* page) {
    auto* filter = new EnterFilter(page);
    page->installEventFilter(filter);
    for (QWidget* child : page->findChildren<QWidget*>()) {
        child->installEventFilter(filter);
    }
    for (QPushButton* button : page->findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
    }
}

std::string FieldText(const QLineEdit* field) {
    return field->text().toStdString();
}

QString HexText(std::uint32_t value) {
    return QString::number(value, 16).toUpper();
}

QString DecText(std::uint32_t value) {
    return QString::number(static_cast<std::int32_t>(value));
}

} // namespace kestova::diag
