#include "ui/window_update_sink.h"

#include <QMetaObject>
#include <QString>

#include "ui/form_main.h"
#include "ui/qt_text.h"

namespace ui {

WindowUpdateSink::WindowUpdateSink(TForm_main* window) : m_window(window) {}

void WindowUpdateSink::detach()
{
    std::lock_guard lock(m_mutex);
    m_window = nullptr;
}

template <typename Call> void WindowUpdateSink::post(Call call)
{
    // Posting under the lock keeps the window alive until the call is queued; queued calls go
    // out in posting order, and those still pending die with the window.
    std::lock_guard lock(m_mutex);
    if (!m_window)
        return;
    TForm_main* window = m_window;
    QMetaObject::invokeMethod(
        window, [window, call = std::move(call)] { call(*window); }, Qt::QueuedConnection);
}

void WindowUpdateSink::clearLog()
{
    post([](TForm_main& window) { window.clearLog(); });
}

void WindowUpdateSink::appendLine(std::string_view cp1251Line)
{
    post([line = fromEngine(cp1251Line)](TForm_main& window) { window.appendLogLine(line); });
}

void WindowUpdateSink::setUpdateControls(bool running)
{
    post([running](TForm_main& window) { window.setUpdateControls(running); });
}

void WindowUpdateSink::reportProgress(std::size_t fileNumber, std::size_t fileCount,
                                      std::int64_t received, std::int64_t total)
{
    post([=](TForm_main& window) {
        window.showProgress(static_cast<int>(fileNumber), static_cast<int>(fileCount), received,
                            total);
    });
}

void WindowUpdateSink::reportRunError(std::string_view cp1251Message)
{
    post([message = fromEngine(cp1251Message)](TForm_main& window) {
        window.showRunError(message);
    });
}

} // namespace ui
