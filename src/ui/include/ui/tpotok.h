#pragma once

#include <QThread>
#include <atomic>
#include <memory>

namespace engine {
class Updater;
}

namespace ui {

class WindowUpdateSink;

// The worker of one windowed update run. It shares the engine state and the window's report
// sink, so it stays valid when the window is destroyed before the run ends. It deletes itself
// (through the event loop of the thread that created it) once its run has ended; a worker still
// running at program exit is abandoned, never destroyed.
class Tpotok : public QThread
{
    Q_OBJECT

public:
    Tpotok(std::shared_ptr<engine::Updater> updater, std::shared_ptr<WindowUpdateSink> sink);

    // Starts the run at the highest thread priority the platform grants.
    void startRun();

    // Asks the run to end; it is honoured between two files, never inside a download.
    void requestStop();
    bool stopRequested() const;

protected:
    // Execute: one update run. An error that ends it early is reported through the sink.
    void run() override;

private:
    const std::shared_ptr<engine::Updater> m_updater;
    const std::shared_ptr<WindowUpdateSink> m_sink;
    std::atomic<bool> m_stopRequested{false};
};

} // namespace ui
