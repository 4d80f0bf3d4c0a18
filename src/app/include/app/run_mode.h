#pragma once

namespace app {

// Whether the command line asks for the silent run: a first argument of exactly "-U" or "-u".
// Any other first argument, or none, asks for the window; later arguments are never looked at.
bool isSilentRun(int argc, const char* const* argv);

} // namespace app
