#pragma once

#include <mutex>
#include <string_view>

#include "engine/update_sink.h"

namespace ui {

class TForm_main;

// The main window's side of the engine's report interface. The worker of a run calls it on its
// own thread; each call is handed to the window's thread as a queued call, and the calls take
// effect in the order they were made. Once detached (the window is going away) further calls
// are dropped and calls still queued are discarded with the window, so a worker that outlives
// the window never touches it. Any thread.
class WindowUpdateSink final : public engine::UpdateSink
{
public:
    explicit WindowUpdateSink(TForm_main* window);

    // Drops every later call. Called on the window's thread before the window is destroyed;
    // waits for a call being handed over at that moment.
    void detach();

    void clearLog() override;
    void appendLine(std::string_view cp1251Line) override;
    void setUpdateControls(bool running) override;
    void reportProgress(std::size_t fileNumber, std::size_t fileCount, std::int64_t received,
                        std::int64_t total) override;

    // An error that ended the run early (its CP1251 message), shown to the user in an error box.
    void reportRunError(std::string_view cp1251Message);

private:
    template <typename Call> void post(Call call);

    std::mutex m_mutex;
    TForm_main* m_window; // guarded by m_mutex; null once detached
};

} // namespace ui
