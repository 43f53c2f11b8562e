#include "Symbols.hpp"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

// A static library's resource initialiser is dropped by the linker unless
// something refers to it, so the drawings are registered on first use.
static void registerSymbolDrawings() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(symbols);
        return true;
    }();
    (void)registered;
}

namespace menubar::app {

namespace {

QString symbolResource(std::string_view symbolName) {
    return QStringLiteral(":/symbols/") +
           QString::fromUtf8(symbolName.data(), static_cast<qsizetype>(symbolName.size())) +
           QStringLiteral(".svg");
}

} // namespace

bool hasSymbol(std::string_view symbolName) {
    registerSymbolDrawings();
    return !symbolName.empty() && QFile::exists(symbolResource(symbolName));
}

void paintSymbol(QPainter& painter, std::string_view symbolName, const QRectF& box) {
    if (!hasSymbol(symbolName)) {
        return;
    }
    QSvgRenderer renderer(symbolResource(symbolName));
    renderer.render(&painter, box);
}

QIcon symbolIcon(std::string_view symbolName, const QColor& colour, int size) {
    if (!hasSymbol(symbolName)) {
        return {};
    }
    QSvgRenderer renderer(symbolResource(symbolName));
    QIcon icon;
    for (const int scale : {1, 2}) {
        QImage image(size * scale, size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
        painter.end();
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace menubar::app
