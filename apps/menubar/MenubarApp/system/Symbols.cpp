#include "Symbols.hpp"

#include <map>
#include <memory>
#include <string>

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
    if (symbolName.empty())
        return false;
    // The drawings are built in and never change, and the icon asks at each of
    // its repaints; a look into the resources costs more than the answer is worth.
    static auto* known = new std::map<std::string, bool, std::less<>>();
    auto found = known->find(symbolName);
    if (found == known->end())
        found = known->emplace(symbolName, QFile::exists(symbolResource(symbolName))).first;
    return found->second;
}

namespace {

// The status icon is drawn again at every change of its percentage, and parsing
// a drawing cost more than painting it; each is parsed once and kept for the
// life of the process (a handful of small drawings), deliberately never
// destroyed, so that none is torn down after the application object.
QSvgRenderer* parsedSymbol(std::string_view symbolName) {
    static auto* parsed = new std::map<std::string, std::unique_ptr<QSvgRenderer>, std::less<>>();
    auto found = parsed->find(symbolName);
    if (found == parsed->end()) {
        std::unique_ptr<QSvgRenderer> renderer;
        if (hasSymbol(symbolName)) {
            renderer = std::make_unique<QSvgRenderer>(symbolResource(symbolName));
        }
        found = parsed->emplace(std::string(symbolName), std::move(renderer)).first;
    }
    return found->second.get();
}

} // namespace

void paintSymbol(QPainter& painter, std::string_view symbolName, const QRectF& box) {
    if (QSvgRenderer* renderer = parsedSymbol(symbolName)) {
        renderer->render(&painter, box);
    }
}

QIcon symbolIcon(std::string_view symbolName, const QColor& colour, int size) {
    QSvgRenderer* renderer = parsedSymbol(symbolName);
    if (!renderer) {
        return {};
    }
    QIcon icon;
    for (const int scale : {1, 2}) {
        QImage image(size * scale, size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer->render(&painter);
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
