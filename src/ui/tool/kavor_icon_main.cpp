// kavor-icon: writes the program icon as PNG files for an installation's icon theme.
// Usage: kavor-icon DIRECTORY SIZE...  (writes DIRECTORY/<SIZE>x<SIZE>/apps/kavor-updater.png)

#include <QDir>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pictures.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: kavor-icon DIRECTORY SIZE...\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 16 || size > 1024) {
            std::fprintf(stderr, "kavor-icon: bad size %s\n", argv[i]);
            return 2;
        }
        const QString directory = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = directory + QStringLiteral("/kavor-updater.png");
        if (!QDir().mkpath(directory) || !ui::pictures::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "kavor-icon: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
