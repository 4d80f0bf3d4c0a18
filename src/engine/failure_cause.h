#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The line that says why a fetch failed, logged under "      Неудача!" or
// "Соединение не установлено...". Plain words, CP1251, without the indent.
namespace engine {

// An HTTP error answer gives its status code and text ("404 Not Found"); a socket error its
// code and text; every other failure its message.
std::string failureCause(const std::exception& error);

// A body that ended before its announced length.
std::string cutShortCause(std::int64_t received, std::int64_t announced);

// An answer without a body.
std::string emptyBodyCause();

} // namespace engine
