#include "app/command_line.h"

#include "app/run_mode.h"

namespace app {

Command commandOf(int argc, const char* const* argv)
{
    if (isSilentRun(argc, argv))
        return Command::Silent;
    if (argc < 2)
        return Command::Window;
    const std::string_view first = argv[1];
    if (first == "--help")
        return Command::Help;
    if (first == "--version")
        return Command::Version;
    return Command::Window;
}

std::string usageText(std::string_view configPath)
{
    return "Использование: kavor-updater [-U | --help | --version]\n"
           "Обновление антивирусных баз Kavor.\n"
           "\n"
           "  без аргументов  окно программы: журнал, \"Обновить базы\", \"Настройка\"\n"
           "  -U, -u          одно обновление без окна; журнал идёт в стандартный вывод (UTF-8)\n"
           "  --help          эта справка\n"
           "  --version       версия программы\n"
           "\n"
           "Настройки: " +
           std::string(configPath) +
           " (рядом с программой)\n"
           "\n"
           "Коды выхода обновления без окна:\n"
           "  0  страница и все выбранные файлы получены (и распакованы), или обновлять нечего\n"
           "  1  ошибка прервала обновление (архив не записан, ошибка ввода-вывода при "
           "распаковке)\n"
           "  2  страницу обновлений получить не удалось\n"
           "  3  страница получена, но не все выбранные файлы получены или распакованы\n"
           "  4  каталог архивов занят другим запуском (файл kavor-updater.lock в нём)\n"
           "Окно без дисплея не открывается: код 1.\n"
           "\n"
           "Подробнее: man kavor-updater\n";
}

std::string versionText()
{
    return "kavor-updater " KAVOR_VERSION "\n";
}

} // namespace app
