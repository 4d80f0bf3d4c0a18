#include "update_run.h"

#include <chrono>
#include <exception>
#include <string>

#include "archive_file_stream.h"
#include "engine/file_selection.h"
#include "failure_cause.h"
#include "link_resolution.h"
#include "log_texts.h"
#include "platform/atomic_file.h"
#include "platform/directory_lock.h"
#include "platform/os_path.h"
#include "unpack_step.h"

namespace engine {
namespace {

void setProxy(http::TIdHTTP& client, const Settings& s)
{
    auto& proxy = client.ProxyParams();
    proxy.SetBasicAuthentication(s.proxy);
    proxy.SetProxyUsername(s.proxy ? s.proxy_username : std::string());
    proxy.SetProxyServer(s.proxy ? s.proxy_server : std::string());
    proxy.SetProxyPassword(s.proxy ? s.proxy_pwd : std::string());
    proxy.SetProxyPort(s.proxy ? s.proxy_port : 0);
}

// The update page is held whole in memory to be scanned; real ones are a few kilobytes.
constexpr std::int64_t kMaxPageBytes = std::int64_t{16} << 20;
// Progress reaches the window no more often than this.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

struct Fetched
{
    enum Kind
    {
        Whole,  // the body ended the way its framing says, and is not empty
        Empty,  // an answer without a body
        Failed, // the request raised, or the body ended before its announced length
    };
    Kind kind = Failed;
    std::string cause; // why, unless Whole
};

// Fetches url into body. Whether the connection stays open afterwards does not matter; only a
// body that ended as its framing says counts. A failed body is dropped.
Fetched fetch(http::TIdHTTP& client, const std::string& url, http::TIdStream& body)
{
    try {
        client.GetToStream(url, body);
    } catch (const std::exception& error) {
        body.Truncate(0);
        return {Fetched::Failed, failureCause(error)};
    }
    if (client.LastBodyEnd() == http::TIdBodyEnd::CutShort) {
        body.Truncate(0);
        return {Fetched::Failed,
                cutShortCause(client.LastBodyBytes(), client.Response().ContentLength)};
    }
    if (body.Size() == 0)
        return {Fetched::Empty, emptyBodyCause()};
    return {Fetched::Whole, {}};
}

// Hands the client's progress on to the sink, a few times a second and at the end of a body.
class ProgressRelay
{
public:
    ProgressRelay(http::TIdHTTP& client, UpdateSink& sink, std::size_t fileCount)
        : m_client(client), m_sink(sink), m_fileCount(fileCount)
    {}
    ~ProgressRelay() { m_client.OnBodyProgress = nullptr; }
    ProgressRelay(const ProgressRelay&) = delete;
    ProgressRelay& operator=(const ProgressRelay&) = delete;

    void startFile(std::size_t fileNumber)
    {
        m_client.OnBodyProgress = [this, fileNumber](std::int64_t received, std::int64_t total) {
            const auto now = std::chrono::steady_clock::now();
            if (received != 0 && received != total && now - m_last < kProgressInterval)
                return;
            m_last = now;
            m_sink.reportProgress(fileNumber, m_fileCount, received, total);
        };
    }

private:
    http::TIdHTTP& m_client;
    UpdateSink& m_sink;
    std::size_t m_fileCount;
    std::chrono::steady_clock::time_point m_last{};
};

void logCause(UpdateSink& sink, const std::string& cause)
{
    sink.appendLine(std::string(log_text::kCauseIndent) + cause);
}

// True when every file came whole; false when one failed. A stop request ends the loop early.
bool download(const UpdateRunContext& context, UpdateSink& sink,
              const std::atomic<bool>& stopRequested)
{
    bool allFetched = true;
    ProgressRelay progress(context.client, sink, context.downloads.size());
    for (std::size_t i = 0; i < context.downloads.size(); ++i) {
        Tbasa& entry = context.downloads[i];
        if (stopRequested)
            return allFetched;
        sink.appendLine(std::string(log_text::kFetchingFile) + entry.name +
                        std::string(log_text::kEllipsis));
        // The body goes to disk as it arrives, under a temporary name; only a whole one takes
        // the archive's name, so a failed request or a full disk never destroys the previous
        // archive.
        ArchiveFileStream file(context.settings.archpath + "\\" + entry.name);
        progress.startFile(i + 1);
        const Fetched fetched = fetch(context.client, entry.url, file);
        if (fetched.kind != Fetched::Whole) {
            sink.appendLine(log_text::kFailure);
            logCause(sink, fetched.cause);
            entry.ok = false;
            allFetched = false;
            continue;
        }
        sink.appendLine(entry.name + std::string(log_text::kSuccess));
        file.commit();
    }
    return allFetched;
}

// What a run killed mid-write left behind; only this program's own temporary names go. The
// Kavor directory's subdirectories hold members too, unless the directory is a whole drive.
void removeAbandonedFiles(const Settings& s)
{
    platform::AtomicFile::removeAbandoned(platform::toOsPath(s.archpath), false);
    const std::filesystem::path kavor = platform::toOsPath(s.kvopath + "\\");
    platform::AtomicFile::removeAbandoned(kavor, !kavor.relative_path().empty());
}

RunOutcome runSteps(const UpdateRunContext& context, UpdateSink& sink,
                    const std::atomic<bool>& stopRequested)
{
    const Settings& s = context.settings;
    sink.clearLog();

    // Held for the whole run. Without an archive directory there is nothing to guard, and the
    // run goes on to fail at its first write.
    const platform::DirectoryLock lock(platform::toOsPath(s.archpath));
    if (lock.state() == platform::DirectoryLock::State::HeldElsewhere) {
        sink.appendLine(log_text::kAlreadyRunning);
        return RunOutcome::AlreadyRunning;
    }
    if (lock.state() == platform::DirectoryLock::State::Held)
        removeAbandonedFiles(s);

    setProxy(context.client, s);
    sink.appendLine(std::string(log_text::kTryingToConnect) + s.updatepath +
                    std::string(log_text::kEllipsis));
    http::TIdStringStream pageBody;
    context.client.MaxBodyBytes = kMaxPageBytes;
    const Fetched fetched = fetch(context.client, s.updatepath, pageBody);
    context.client.MaxBodyBytes = http::TIdHTTP::kMaxBodyBytes;
    const std::string page = pageBody.Release();
    if (fetched.kind == Fetched::Failed) {
        sink.appendLine(log_text::kNotConnected);
        logCause(sink, fetched.cause);
        return RunOutcome::PageFailed;
    }
    if (fetched.kind == Fetched::Empty) {
        sink.appendLine(log_text::kNotConnected);
        logCause(sink, fetched.cause);
    } else {
        sink.appendLine(log_text::kConnected);
    }

    context.installed = scanInstalledDatabases(s.kvopath);
    context.downloads.clear();
    FileSelector(s.nasty, s.risk, context.installed).scanPage(page, context.downloads);
    resolveRelativeLinks(context.downloads, context.client.URL().ComposeAbsolute());
    sink.appendLine(std::string(log_text::kFilesToUpdate) +
                    std::to_string(context.downloads.size()));

    bool complete = download(context, sink, stopRequested);
    if (stopRequested)
        return RunOutcome::Stopped;
    if (s.unpack)
        complete = unpackDownloads(context.downloads, s, sink, stopRequested) && complete;
    if (stopRequested)
        return RunOutcome::Stopped;
    if (fetched.kind == Fetched::Empty)
        return RunOutcome::PageFailed;
    return complete ? RunOutcome::Updated : RunOutcome::FilesFailed;
}

} // namespace

RunOutcome runUpdate(const UpdateRunContext& context, UpdateSink& sink,
                     const std::atomic<bool>& stopRequested)
{
    RunOutcome outcome{};
    try {
        outcome = runSteps(context, sink, stopRequested);
    } catch (...) {
        sink.setUpdateControls(false);
        throw;
    }
    sink.setUpdateControls(false);
    return outcome;
}

} // namespace engine
