// Renders the app icon's drawing to a PNG of one size, for the icon theme's
// fixed-size folders: render-icon DRAWING.svg SIZE OUT.png

#include <cstdio>
#include <cstdlib>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fputs("usage: render-icon DRAWING.svg SIZE OUT.png\n", stderr);
        return 64;
    }
    const int size = std::atoi(argv[2]);
    QSvgRenderer drawing(QString::fromLocal8Bit(argv[1]));
    if (!drawing.isValid() || size <= 0) {
        std::fprintf(stderr, "render-icon: cannot render %s at %s px\n", argv[1], argv[2]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}
