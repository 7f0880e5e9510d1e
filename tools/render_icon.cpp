// Icon renderer: draws an SVG picture into a square PNG of the given size, for the
// hicolor theme's fixed-size icons made at build time.
// Usage: render_icon <picture.svg> <size> <out.png>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // a build machine may have no display
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    bool ok = false;
    const int size = arguments.value(2).toInt(&ok);
    if (arguments.size() != 4 || !ok || size <= 0) {
        std::fputs("Użycie: render_icon OBRAZ.svg ROZMIAR WYJŚCIE.png\n", stderr);
        return 2;
    }
    QSvgRenderer svg(arguments[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "Nie można odczytać obrazu %s\n", qPrintable(arguments[1]));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (!image.save(arguments[3], "PNG")) {
        std::fprintf(stderr, "Nie można zapisać %s\n", qPrintable(arguments[3]));
        return 1;
    }
    return 0;
}
