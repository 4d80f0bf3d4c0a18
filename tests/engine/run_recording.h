#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/update_sink.h"
#include "platform/code_page.h"
#include "support/temp_dir.h"

// What the update-run tests share: a sink that records a run's reports, and archives made with
// Info-ZIP's zip.
namespace testing_support {

// Records what a run reports, log lines in UTF-8 for readable assertions.
class RecordingSink : public engine::UpdateSink
{
public:
    void clearLog() override
    {
        events.push_back("<clear>");
        lines.clear();
    }
    void appendLine(std::string_view line) override
    {
        events.push_back(platform::cp1251ToUtf8(line));
        lines.push_back(events.back());
    }
    void setUpdateControls(bool running) override
    {
        events.push_back(running ? "<running>" : "<idle>");
    }

    std::vector<std::string> events;
    std::vector<std::string> lines; // since the last clear
};

// Builds a ZIP archive holding the given files (name, contents) with Info-ZIP's zip.
inline void makeZip(const std::filesystem::path& archive,
                    const std::vector<std::pair<std::string, std::string>>& files)
{
    TempDir work;
    std::string command =
        "cd '" + work.path().string() + "' && zip -q -X '" + archive.string() + "'";
    for (const auto& [name, contents] : files) {
        writeFile(work.path() / name, contents);
        command += " '" + name + "'";
    }
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

} // namespace testing_support
