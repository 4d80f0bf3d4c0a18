#include "update_run.h"

#include <exception>
#include <string>

#include "engine/archive_write_error.h"
#include "engine/file_selection.h"
#include "link_resolution.h"
#include "log_texts.h"
#include "platform/atomic_file.h"
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

// Fetches url into body. False when the request raised; body may then hold part of the answer.
bool fetch(http::TIdHTTP& client, const std::string& url, std::string& body)
{
    try {
        client.GetText(url, body);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void download(const UpdateRunContext& context, UpdateSink& sink,
              const std::atomic<bool>& stopRequested)
{
    for (Tbasa& entry : context.downloads) {
        if (stopRequested)
            return;
        // A fresh body per file: keeping the previous one's buffer would hold two files at once.
        std::string body;
        sink.appendLine(std::string(log_text::kFetchingFile) + entry.name +
                        std::string(log_text::kEllipsis));
        if (!fetch(context.client, entry.url, body)) {
            sink.appendLine(log_text::kFailure);
            entry.ok = false;
            continue;
        }
        // An empty answer, or a connection the server dropped before the announced end of the
        // body, leaves nothing worth keeping.
        if (body.empty() || !context.client.IsConnected()) {
            entry.ok = false;
            continue;
        }
        sink.appendLine(entry.name + std::string(log_text::kSuccess));
        writeArchive(context.settings.archpath + "\\" + entry.name, body);
    }
}

void runSteps(const UpdateRunContext& context, UpdateSink& sink,
              const std::atomic<bool>& stopRequested)
{
    const Settings& s = context.settings;
    std::string page;
    sink.clearLog();
    setProxy(context.client, s);

    sink.appendLine(std::string(log_text::kTryingToConnect) + s.updatepath +
                    std::string(log_text::kEllipsis));
    if (!fetch(context.client, s.updatepath, page)) {
        sink.appendLine(log_text::kNotConnected);
        return;
    }
    sink.appendLine(!page.empty() && context.client.IsConnected() ? log_text::kConnected
                                                                  : log_text::kNotConnected);

    context.installed = scanInstalledDatabases(s.kvopath);
    context.downloads.clear();
    FileSelector(s.nasty, s.risk, context.installed).scanPage(page, context.downloads);
    resolveRelativeLinks(context.downloads, context.client.URL().ComposeAbsolute());
    sink.appendLine(std::string(log_text::kFilesToUpdate) +
                    std::to_string(context.downloads.size()));

    download(context, sink, stopRequested);
    if (s.unpack && !stopRequested)
        unpackDownloads(context.downloads, s, sink, stopRequested);
}

} // namespace

void runUpdate(const UpdateRunContext& context, UpdateSink& sink,
               const std::atomic<bool>& stopRequested)
{
    try {
        runSteps(context, sink, stopRequested);
    } catch (...) {
        sink.setUpdateControls(false);
        throw;
    }
    sink.setUpdateControls(false);
}

} // namespace engine
