#include "ui/qt_text.h"

#include <QDir>

#include "platform/code_page.h"

namespace ui {

QString fromEngine(std::string_view cp1251)
{
    return QString::fromStdString(platform::cp1251ToUtf8(cp1251));
}

std::string toEngine(const QString& text)
{
    return platform::utf8ToCp1251(text.toStdString());
}

QString displayPath(std::string_view enginePath)
{
    QString path = fromEngine(enginePath);
    if (QDir::separator() == QLatin1Char('/'))
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

} // namespace ui
