#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/loopback_servers.h"

namespace testing_support {

// A vendor's update site in miniature, served by nginx on 127.0.0.1: ZIP archives of sample
// databases under /update/ and an update page there that links them with absolute URLs.
class SampleUpdateSite
{
public:
    // Adds /update/<NAME>.ZIP holding one member <name>.vdb (lower case) with contents; returns
    // the archive's bytes.
    std::string addArchive(const std::string& name, std::string_view contents);
    // Writes the update page, linking <linkDirectory><NAME>.ZIP for each name, in order; a name
    // need not have an archive (its link then gets 404). "/slow/update/" serves the same files
    // at 8 KB/s.
    void writePage(const std::vector<std::string>& names,
                   const std::string& linkDirectory = "/update/");

    std::string pageUrl() const { return m_server.url("/update/"); }
    NginxServer& server() { return m_server; }

private:
    std::filesystem::path updateDirectory() const { return m_server.docroot() / "update"; }

    NginxServer m_server;
};

} // namespace testing_support
