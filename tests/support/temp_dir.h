#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes away (also when the test fails).
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The directory as an engine path (CP1251, here plain ASCII) with no trailing separator.
    std::string enginePath() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// Whole-file helpers for fixtures and assertions.
void writeFile(const std::filesystem::path& path, std::string_view contents);
std::string readFile(const std::filesystem::path& path);

// The directory of the test data (tests/data).
std::filesystem::path testDataDir();

} // namespace testing_support
