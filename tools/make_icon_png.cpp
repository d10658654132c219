// Draws the program's SVG icon as a square PNG of one size, for the icon
// themes of the desktops that want pictures:
//   make_icon_png ICON.svg SIZE ICON.png
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    bool ok = false;
    const int size = args.value(2).toInt(&ok);
    if (args.size() != 4 || !ok || size <= 0) {
        std::fprintf(stderr, "usage: make_icon_png ICON.svg SIZE ICON.png\n");
        return 2;
    }
    QImageReader reader(args[1]);
    reader.setScaledSize(QSize(size, size));
    const QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "make_icon_png: %s: %s\n", qPrintable(args[1]), qPrintable(reader.errorString()));
        return 1;
    }
    if (!image.save(args[3], "PNG")) {
        std::fprintf(stderr, "make_icon_png: %s cannot be written\n", qPrintable(args[3]));
        return 1;
    }
    return 0;
}
