// What the desktop sees, through Qt as the file manager would:
//   desktop_probe mime FILE...     prints each file's MIME type name, one a line
//   desktop_probe icon SIZE OUT    writes the program's own icon at SIZE pixels as a PNG
#include "AppIcon.h"

#include <QGuiApplication>
#include <QMimeDatabase>
#include <QPixmap>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "mime") == 0) {
        const QMimeDatabase db;
        for (int i = 2; i < argc; ++i)
            std::printf("%s\n", qPrintable(db.mimeTypeForFile(QString::fromLocal8Bit(argv[i])).name()));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "icon") == 0) {
        const int size = std::atoi(argv[2]);
        return DrawAppIcon().pixmap(size, size).save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
    }
    std::fprintf(stderr, "usage: desktop_probe mime FILE... | icon SIZE OUT.png\n");
    return 2;
}
