#include "test_files.h"

#include <algorithm>

namespace unzip_test {

std::string writeArchive(const testing_support::TempDir& dir, const std::string& name,
                         const Bytes& bytes)
{
    testing_support::writeFile(
        dir.path() / name,
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return dir.enginePath() + "\\" + name;
}

std::vector<std::string> treeOf(const std::filesystem::path& root)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        names.push_back(entry.path().lexically_relative(root).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace unzip_test
