#pragma once

#include <filesystem>
#include <string>

#include "stream_writer.h"
#include "support/temp_dir.h"

namespace unzip_test {

// Writes bytes to a file under the directory and returns its engine path.
std::string writeArchive(const testing_support::TempDir& dir, const std::string& name,
                         const Bytes& bytes);

// The names of every file and directory below root, relative, with "/" separators, sorted.
std::vector<std::string> treeOf(const std::filesystem::path& root);

} // namespace unzip_test
