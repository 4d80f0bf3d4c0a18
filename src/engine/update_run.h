#pragma once

#include <atomic>

#include "engine/download_list.h"
#include "engine/run_outcome.h"
#include "engine/settings.h"
#include "engine/update_sink.h"
#include "http/id_http.h"

namespace engine {

// What one update run works on; the lists are rebuilt by the run.
struct UpdateRunContext
{
    const Settings& settings;
    http::TIdHTTP& client;
    DownloadList& downloads;
    InstalledDatabases& installed;
};

// The update run from clearing the log to giving the controls back.
RunOutcome runUpdate(const UpdateRunContext& context, UpdateSink& sink,
                     const std::atomic<bool>& stopRequested);

} // namespace engine
