#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>

#include <gtest/gtest.h>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QList<QString>& texts, std::ostream* out)
{
    *out << '"' << texts.join(QStringLiteral("\" \"")).toStdString() << '"';
}

namespace testing_support {

// Closes every modal window, innermost first.
void closeModalWindows();

// Runs action on the first modal window of type T that becomes active, from inside its modal
// loop, so that a test never blocks in exec(). Call it before the command that opens the window
// and keep the result until that command has returned: dropping it stops the watch, so a
// window that never came cannot meet a later test's. If no such window appears within limit,
// or the action leaves it open for as long, modal windows are closed and the test fails
// instead of hanging.
template <typename T>
[[nodiscard]] std::unique_ptr<QObject>
whenModal(std::function<void(T&)> action,
          std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    auto watch = std::make_unique<QObject>();
    auto* poll = new QTimer(watch.get());
    poll->setInterval(5);
    const QDeadlineTimer deadline(limit);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, limit, action] {
        if (T* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            QPointer<T> guard(window);
            auto* openTooLong = new QTimer(poll);
            openTooLong->setSingleShot(true);
            QObject::connect(openTooLong, &QTimer::timeout, [guard] {
                if (guard && guard->isVisible()) {
                    ADD_FAILURE() << "the test left " << T::staticMetaObject.className() << " open";
                    closeModalWindows();
                }
            });
            openTooLong->start(limit);
            action(*window);
        } else if (deadline.hasExpired()) {
            poll->stop();
            ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " appeared";
            closeModalWindows();
        }
    });
    poll->start();
    return watch;
}

// A TCP socket on 127.0.0.1 that listens and never accepts: connections complete and requests
// are sent, but no answer ever comes, so a client blocks until close() resets them.
class SilentListener
{
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::uint16_t port() const { return m_port; }
    // Resets every connection waiting on it.
    void close();

private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
};

} // namespace testing_support
