#include "engine/updater.h"

#include <cstdint>
#include <mutex>

#include "engine/settings_file.h"
#include "http/id_http.h"
#include "update_run.h"

namespace engine {
namespace {

// The host an update path without one is sent to (the page's own links are resolved against the
// page's URL); a private address keeps such a request inside the local network.
constexpr const char* kDefaultHttpHost = "192.168.0.1";
constexpr std::int32_t kMaxRedirects = 5;

} // namespace

struct Updater::State
{
    explicit State(std::string directory) : programDirectory(std::move(directory))
    {
        LoadedSettings loaded = loadSettings(programDirectory);
        settings = std::move(loaded.settings);
        loadError = std::move(loaded.error);
        client.SetHost(kDefaultHttpHost);
        // Update sites move to https and between hosts; a few hops cover that, a loop ends.
        client.HandleRedirects = true;
        client.RedirectMaximum = kMaxRedirects;
    }

    const std::string programDirectory;
    std::optional<std::string> loadError;

    mutable std::mutex settingsMutex;
    Settings settings;

    http::TIdHTTP client;
    DownloadList downloads;
    InstalledDatabases installed;
};

Updater::Updater(std::string programDirectory)
    : m_state(std::make_unique<State>(std::move(programDirectory)))
{}

Updater::~Updater() = default;

const std::string& Updater::programDirectory() const
{
    return m_state->programDirectory;
}

const std::optional<std::string>& Updater::settingsLoadError() const
{
    return m_state->loadError;
}

Settings Updater::settings() const
{
    std::lock_guard lock(m_state->settingsMutex);
    return m_state->settings;
}

void Updater::setSettings(const Settings& settings)
{
    std::lock_guard lock(m_state->settingsMutex);
    m_state->settings = settings;
}

void Updater::saveSettings()
{
    std::lock_guard lock(m_state->settingsMutex);
    engine::saveSettings(m_state->programDirectory, m_state->settings);
}

RunOutcome Updater::runUpdate(UpdateSink& sink, const std::atomic<bool>& stopRequested)
{
    // The run works on a copy, so the options dialog may change the settings meanwhile.
    const Settings settings = this->settings();
    const UpdateRunContext context{settings, m_state->client, m_state->downloads,
                                   m_state->installed};
    return engine::runUpdate(context, sink, stopRequested);
}

RunOutcome Updater::runUpdate(UpdateSink& sink)
{
    const std::atomic<bool> never{false};
    return runUpdate(sink, never);
}

void Updater::setNetworkTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds stall)
{
    m_state->client.ConnectTimeout = static_cast<std::int32_t>(connect.count());
    m_state->client.SetReadTimeout(static_cast<std::int32_t>(stall.count()));
}

} // namespace engine
