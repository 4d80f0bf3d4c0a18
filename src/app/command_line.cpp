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
    std::string text = "Использование: kavor-updater [-U | --help | --version]\n"
                       "Обновление антивирусных баз Kavor.\n"
                       "\n"
                       "  без аргументов  окно: журнал, \"Обновить базы\", \"Настройка\"\n"
                       "  -U, -u          одно обновление без окна, журнал в стандартный вывод\n"
                       "  --help          эта справка\n"
                       "  --version       версия программы\n"
                       "\n"
                       "Настройки (рядом с программой): ";
    text += configPath;
    text += "\n"
            "\n"
            "Коды выхода обновления без окна:\n"
            "  0  страница и все выбранные файлы получены (и распакованы)\n"
            "     или обновлять нечего\n"
            "  1  ошибка прервала обновление: архив не записан,\n"
            "     сбой ввода-вывода при распаковке\n"
            "  2  страницу обновлений получить не удалось\n"
            "  3  страница получена, но не все выбранные файлы получены или распакованы\n"
            "  4  каталог архивов занят другим запуском (файл kavor-updater.lock в нём)\n"
            "Окно без дисплея не открывается: код 1.\n"
            "\n"
            "Подробнее: man kavor-updater\n";
    return text;
}

std::string versionText()
{
    return "kavor-updater " KAVOR_VERSION "\n";
}

} // namespace app
