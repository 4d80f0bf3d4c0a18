#include "update_run.h"

#include <exception>
#include <string>

#include "engine/archive_write_error.h"
#include "engine/file_selection.h"
#include "failure_cause.h"
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

// The body is written only once it has arrived whole, and reaches its name only once it is on
// disk whole, so neither a failed request nor a full disk leaves a half-written archive or
// destroys the previous one.
void writeArchive(const std::string& enginePath, const std::string& body)
{
    platform::AtomicFile file(platform::toOsPath(enginePath));
    if (!file.open())
        throw ArchiveWriteError("Cannot create file " + enginePath);
    if (!file.write(body.data(), body.size()) || !file.commit())
        throw ArchiveWriteError("Cannot write file " + enginePath);
}

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
// body that ended as its framing says counts. Nothing of a failed body is kept.
Fetched fetch(http::TIdHTTP& client, const std::string& url, std::string& body)
{
    body.clear();
    try {
        client.GetText(url, body);
    } catch (const std::exception& error) {
        body.clear();
        return {Fetched::Failed, failureCause(error)};
    }
    if (client.LastBodyEnd() == http::TIdBodyEnd::CutShort) {
        const Fetched cut{Fetched::Failed,
                          cutShortCause(client.LastBodyBytes(), client.Response().ContentLength)};
        body.clear();
        return cut;
    }
    if (body.empty())
        return {Fetched::Empty, emptyBodyCause()};
    return {Fetched::Whole, {}};
}

void logCause(UpdateSink& sink, const std::string& cause)
{
    sink.appendLine(std::string(log_text::kCauseIndent) + cause);
}

// True when every file came whole; false when one failed. A stop request ends the loop early.
bool download(const UpdateRunContext& context, UpdateSink& sink,
              const std::atomic<bool>& stopRequested)
{
    bool allFetched = true;
    for (Tbasa& entry : context.downloads) {
        if (stopRequested)
            return allFetched;
        // A fresh body per file: keeping the previous one's buffer would hold two files at once.
        std::string body;
        sink.appendLine(std::string(log_text::kFetchingFile) + entry.name +
                        std::string(log_text::kEllipsis));
        const Fetched fetched = fetch(context.client, entry.url, body);
        if (fetched.kind != Fetched::Whole) {
            sink.appendLine(log_text::kFailure);
            logCause(sink, fetched.cause);
            entry.ok = false;
            allFetched = false;
            continue;
        }
        sink.appendLine(entry.name + std::string(log_text::kSuccess));
        writeArchive(context.settings.archpath + "\\" + entry.name, body);
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
    std::string page;
    const Fetched fetched = fetch(context.client, s.updatepath, page);
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
