#include "sample_update_site.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

#include "support/temp_dir.h"

namespace testing_support {

std::string SampleUpdateSite::addArchive(const std::string& name, std::string_view contents)
{
    std::filesystem::create_directories(updateDirectory());
    std::string member = name;
    for (char& c : member)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    member += ".vdb";
    TempDir staging;
    writeFile(staging.path() / member, contents);
    const std::filesystem::path archive = updateDirectory() / (name + ".ZIP");
    const std::string command =
        "cd '" + staging.path().string() + "' && zip -q -X '" + archive.string() + "' " + member;
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("zip failed: " + command);
    return readFile(archive);
}

void SampleUpdateSite::writePage(const std::vector<std::string>& names,
                                 const std::string& linkDirectory)
{
    std::filesystem::create_directories(updateDirectory());
    std::string page = "<html><body><h1>Database updates</h1>\n";
    for (const std::string& name : names)
        page += "<a HREF=\"" + m_server.url(linkDirectory + name + ".ZIP") + "\">" + name +
                "</a><br>\n";
    page += "</body></html>\n";
    writeFile(updateDirectory() / "index.html", page);
}

} // namespace testing_support
