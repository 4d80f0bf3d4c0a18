#pragma once

#include <string_view>

#include "platform/cp1251_literal.h"

// The lines the update run writes to the log, as users have always read them (CP1251).
namespace engine::log_text {

using platform::operator""_cp1251;

inline constexpr std::string_view kTryingToConnect =
    "Попытка соединения с "_cp1251; // + URL + kEllipsis
inline constexpr std::string_view kEllipsis = " ..."_cp1251;
inline constexpr std::string_view kConnected = "Соединение успешно установлено."_cp1251;
inline constexpr std::string_view kNotConnected = "Соединение не установлено..."_cp1251;
inline constexpr std::string_view kFilesToUpdate = "Файлов для обновления: "_cp1251; // + count
inline constexpr std::string_view kFetchingFile = "Забираем файл "_cp1251; // + name + kEllipsis
inline constexpr std::string_view kFailure = "      Неудача!"_cp1251;
inline constexpr std::string_view kSuccess = " - успех."_cp1251; // after the name
// Before the line that says why a fetch failed, as deep as kFailure's text.
inline constexpr std::string_view kCauseIndent = "      "_cp1251;
inline constexpr std::string_view kAlreadyRunning =
    "Обновление уже выполняется: каталог архивов занят другим запуском."_cp1251;

// After an archive's name, by the extractor's result.
inline constexpr std::string_view kUnpacked = " - удачно распакован!"_cp1251;
inline constexpr std::string_view kNotAZipArchive =
    " - Файл не найден или это не zip-архив!"_cp1251;
inline constexpr std::string_view kBadStructure = " - Ошибка в структуре архива"_cp1251;
inline constexpr std::string_view kReadError = " - Ошибка чтения zip-архива!"_cp1251;
inline constexpr std::string_view kUnpackingStopped = " - Разархивация остановлена!"_cp1251;

} // namespace engine::log_text
