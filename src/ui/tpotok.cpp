#include "ui/tpotok.h"

#include <exception>

#include "engine/updater.h"
#include "ui/window_update_sink.h"

namespace ui {

Tpotok::Tpotok(std::shared_ptr<engine::Updater> updater, std::shared_ptr<WindowUpdateSink> sink)
    : m_updater(std::move(updater)), m_sink(std::move(sink))
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void Tpotok::startRun()
{
    start(QThread::TimeCriticalPriority);
}

void Tpotok::requestStop()
{
    m_stopRequested = true;
}

bool Tpotok::stopRequested() const
{
    return m_stopRequested;
}

void Tpotok::run()
{
    try {
        m_updater->runUpdate(*m_sink, m_stopRequested);
    } catch (const std::exception& error) {
        // The run has already logged " - успех." for the file it could not write; without this
        // the user would take the run for a success.
        m_sink->reportRunError(error.what());
    }
}

} // namespace ui
