#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Engine paths are CP1251 texts joined with "\" by plain concatenation, as the program has always
// formed them. The operating system sees them only through toOsPath.
namespace platform {

// The path the OS should use for an engine path: every "\" becomes the native separator and the
// text is re-encoded for the file system (UTF-8 on Linux).
std::filesystem::path toOsPath(std::string_view enginePath);

// An OS path as an engine text (CP1251); native separators are kept.
std::string fromOsPath(const std::filesystem::path& osPath);

} // namespace platform
