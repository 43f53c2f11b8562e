#include "TrayIconRenderer.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include "app/system/Symbols.hpp"
#include "status/IconGlyphs.hpp"
#include "status/Legibility.hpp"
#include "status/TonePalette.hpp"

namespace menubar::app {

namespace {

// A light glyph gets a dark halo and a dark one a light halo; the tone colours
// are all mid-tones, so in practice the halo is dark and only sharpens edges on
// light panels while disappearing into dark ones.
QColor haloColour(const QColor& colour) {
    const double luminance =
        (0.299 * colour.redF() + 0.587 * colour.greenF() + 0.114 * colour.blueF());
    return luminance >= 0.35 ? QColor(0, 0, 0, 150) : QColor(255, 255, 255, 170);
}

QFont titleFont(double pixelSize, IconShape shape) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::floor(pixelSize))));
    // At tray sizes a medium stroke breaks up; the wide form keeps medium.
    font.setWeight(shape == IconShape::square ? QFont::Bold : QFont::Medium);
    // In a square slot the width is what limits the digits' height; a
    // condensed face (where the system has one) buys a few pixels.
    if (shape == IconShape::square) {
        font.setStretch(QFont::Condensed);
    }
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The largest font whose rendering of `text` fits the box.
QFont fittedFont(const QString& text, const QSizeF& box, IconShape shape) {
    for (double size = box.height() * 1.3; size > 4; size -= 0.5) {
        const QFont font = titleFont(size, shape);
        const QRectF bounds = QFontMetricsF(font).tightBoundingRect(text);
        if (bounds.width() <= box.width() && bounds.height() <= box.height()) {
            return font;
        }
    }
    return titleFont(4, shape);
}

QPainterPath pathOf(const IconGlyphs::Outline& outline) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const IconGlyphs::Segment& segment : outline.segments) {
        const auto& [a, b, c] = segment.points;
        switch (segment.verb) {
        case IconGlyphs::Verb::move:
            path.moveTo(a.x, a.y);
            break;
        case IconGlyphs::Verb::line:
            path.lineTo(a.x, a.y);
            break;
        case IconGlyphs::Verb::cubic:
            path.cubicTo(a.x, a.y, b.x, b.y, c.x, c.y);
            break;
        }
    }
    return path;
}

// As large as the box allows and centred on its ink, not on a line box, so the
// digits sit in the middle. The built-in outlines cover every title the item
// shows; anything else is set in the system font the same way.
void paintTitle(QPainter& painter, const QString& text, const QRectF& box, IconShape shape) {
    if (const auto outline = IconGlyphs::outline(text.toStdString())) {
        const IconGlyphs::Box fit{box.left(), box.top(), box.right(), box.bottom()};
        painter.fillPath(pathOf(IconGlyphs::fitted(*outline, fit)), Qt::black);
        return;
    }
    const QFont font = fittedFont(text, box.size(), shape);
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
    const QPointF origin(box.center().x() - ink.center().x(), box.center().y() - ink.center().y());
    QPainterPath path;
    path.addText(origin, font, text);
    painter.fillPath(path, Qt::black);
}

// The symbol as `paintSymbol` draws it into `box`, first on a still empty
// image. The icon is drawn again at every change of its percentage while the
// symbol stays where it was, and painting a drawing cost more than laying a
// finished layer over the blank image, which gives the very same pixels.
void paintSymbolFirst(QPainter& painter, std::string_view symbolName, const QRectF& box) {
    using Key = std::tuple<std::string, int, int, qreal, qreal, qreal, qreal>;
    static auto* layers = new std::map<Key, QImage>();
    const QPaintDevice* device = painter.device();
    Key key{std::string(symbolName),
            device->width(),
            device->height(),
            box.x(),
            box.y(),
            box.width(),
            box.height()};
    auto found = layers->find(key);
    if (found == layers->end()) {
        // A few symbols at a few sizes; anything past that is a change of
        // screens, and the old sizes will not come back soon.
        if (layers->size() >= 16) {
            layers->clear();
        }
        QImage layer(device->width(), device->height(), QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        paintSymbol(layerPainter, symbolName, box);
        layerPainter.end();
        found = layers->emplace(std::move(key), std::move(layer)).first;
    }
    painter.drawImage(QPoint(0, 0), found->second);
}

// A premultiplied colour scaled by a coverage, each channel rounded as Qt's
// raster engine rounds it.
QRgb scaled(QRgb colour, uint coverage) {
    const auto channel = [coverage](uint value) {
        const uint product = value * coverage;
        return (product + (product >> 8) + 0x80) >> 8;
    };
    return channel(colour >> 24) << 24 | channel((colour >> 16) & 0xff) << 16 |
           channel((colour >> 8) & 0xff) << 8 | channel(colour & 0xff);
}

QRgb over(QRgb top, QRgb under) {
    return top >= 0xff000000u ? top : top + scaled(under, 255 - qAlpha(top));
}

// The glyphs are laid out in black on transparency, then recoloured as a whole
// and set on a halo made from their own outline. Both layers are the glyphs'
// coverage in one colour, so they are composed pixel by pixel here: the same
// pixels as painting them layer upon layer, without a paint engine for each.
QImage tintWithHalo(const QImage& shapes, const QColor& colour, int haloWidth) {
    const QRgb ink = qPremultiply(colour.rgba());
    const QRgb glow = qPremultiply(haloColour(colour).rgba());
    const int width = shapes.width();
    const int height = shapes.height();
    QImage result(shapes.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    const auto compose = [&](QRgb tint, int dx, int dy) {
        for (int y = std::max(0, dy); y < std::min(height, height + dy); ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(shapes.constScanLine(y - dy));
            auto* to = reinterpret_cast<QRgb*>(result.scanLine(y));
            for (int x = std::max(0, dx); x < std::min(width, width + dx); ++x) {
                if (const uint coverage = qAlpha(from[x - dx]))
                    to[x] = over(scaled(tint, coverage), to[x]);
            }
        }
    };
    for (int dx = -haloWidth; dx <= haloWidth; ++dx) {
        for (int dy = -haloWidth; dy <= haloWidth; ++dy) {
            if (dx != 0 || dy != 0) {
                compose(glow, dx, dy);
            }
        }
    }
    compose(ink, 0, 0);
    return result;
}

// The layer the glyphs are laid out on, cleared for each rendering. Kept from
// one rendering to the next, it keeps its paint engine too: making one costs
// more than the painting it does for a 22-pixel icon.
QImage& blank(int width, int height) {
    static auto* image = new QImage();
    if (image->width() != width || image->height() != height) {
        *image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    }
    image->fill(Qt::transparent);
    return *image;
}

} // namespace

IconShape nativeIconShape() {
#ifdef Q_OS_MACOS
    return IconShape::wide;
#else
    return IconShape::square;
#endif
}

namespace {

Legibility::Colour colourOf(const QColor& colour) {
    return {colour.redF(), colour.greenF(), colour.blueF()};
}

// Each tone's own colour, before it is fitted to the panel.
QColor baseToneColour(Tone tone, const QPalette& palette) {
    switch (tone) {
    case Tone::ok:
    case Tone::warn:
    case Tone::critical: {
        const TonePalette::Colour shade = TonePalette::colour(tone);
        return QColor(shade.red, shade.green, shade.blue);
    }
    case Tone::muted: {
        // The text colour laid at secondary strength onto the window colour, kept
        // a mid grey. Not the placeholder colour: some dark palettes keep the
        // light one's, which gave a grey that all but vanished on a dark panel.
        const QColor text = palette.color(QPalette::WindowText);
        const QColor window = palette.color(QPalette::Window);
        const double share = 0.55;
        const QColor flat = QColor::fromRgbF(
            static_cast<float>(text.redF() * share + window.redF() * (1 - share)),
            static_cast<float>(text.greenF() * share + window.greenF() * (1 - share)),
            static_cast<float>(text.blueF() * share + window.blueF() * (1 - share)));
        const int lightness = std::clamp(flat.lightness(), 120, 170);
        return QColor::fromHsl(flat.hslHue(), flat.hslSaturation(), lightness);
    }
    }
    return QColor(Qt::gray);
}

} // namespace

QColor toneColour(Tone tone, const QPalette& palette) {
    const Legibility::Colour shown = Legibility::legibleOn(
        colourOf(baseToneColour(tone, palette)), colourOf(palette.color(QPalette::Window)));
    return QColor::fromRgbF(static_cast<float>(shown.red), static_cast<float>(shown.green),
                            static_cast<float>(shown.blue));
}

QImage renderStatusImage(std::string_view symbolName, std::string_view title, const QColor& colour,
                         int height, IconShape shape) {
    const QString text =
        QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())).trimmed();
    const bool symbol = hasSymbol(symbolName);
    const int haloWidth = std::max(1, static_cast<int>(std::lround(height / 22.0)));
    const double margin = haloWidth;
    const double side = height;

    if (shape == IconShape::square) {
        QImage& shapes = blank(height, height);
        QPainter painter(&shapes);
        painter.setRenderHint(QPainter::Antialiasing);
        const double inner = side - 2 * margin;
        if (text.isEmpty()) {
            paintSymbolFirst(painter, symbolName, QRectF(margin, margin, inner, inner));
        } else if (!symbol) {
            const QRectF box(margin, margin, inner, inner);
            paintTitle(painter, text, box, shape);
        } else {
            // The badge takes the top third and the title the rest, so the number
            // stays as large as the slot allows.
            const double badge = std::round(side * 0.38);
            paintSymbolFirst(painter, symbolName, QRectF((side - badge) / 2, 0, badge, badge));
            const QRectF box(margin, badge, inner, side - badge - margin);
            paintTitle(painter, text, box, shape);
        }
        painter.end();
        return tintWithHalo(shapes, colour, haloWidth);
    }

    const QFont font = titleFont(side * 0.72, shape);
    const QString spaced = QStringLiteral(" ") + text;
    const double symbolWidth = symbol ? side : 0;
    const double textWidth =
        text.isEmpty() ? 0 : std::ceil(QFontMetricsF(font).horizontalAdvance(spaced) + margin);
    const int width = std::max(1, static_cast<int>(symbolWidth + textWidth));
    QImage& shapes = blank(width, height);
    QPainter painter(&shapes);
    painter.setRenderHint(QPainter::Antialiasing);
    if (symbol) {
        paintSymbolFirst(painter, symbolName,
                         QRectF(margin, margin, side - 2 * margin, side - 2 * margin));
    }
    if (!text.isEmpty()) {
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(symbolWidth, 0, textWidth, side), Qt::AlignLeft | Qt::AlignVCenter,
                         spaced);
    }
    painter.end();
    return tintWithHalo(shapes, colour, haloWidth);
}

namespace {

// Renders each size on request instead of handing Qt a fixed set of pixmaps.
// Qt's pixmap-set engine files every pixmap it hands out in the process-wide
// pixmap cache under the icon's own key, and with a new icon at every change of
// the percentage that cache kept growing towards its 10 MiB limit for as long as
// the app ran. Rendering at the exact size also spares the tray a rescale, and
// a change of look now draws one size instead of six.
class StatusIconEngine final : public QIconEngine {
public:
    StatusIconEngine(std::string symbolName, std::string title, QColor colour, IconShape shape)
        : symbolName_(std::move(symbolName)), title_(std::move(title)), colour_(colour),
          shape_(shape) {}

    QIconEngine* clone() const override { return new StatusIconEngine(*this); }
    QString key() const override { return QStringLiteral("tessaly-status"); }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        // The square look is as tall and as wide as the box's shorter side;
        // only the wide one has to be drawn to be measured.
        if (shape_ == IconShape::square) {
            const int height = std::min(size.width(), size.height());
            return height > 0 ? QSize(height, height) : QSize(0, 0);
        }
        return pixmap(size, mode, state).size();
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> result;
        for (const int height : sizes) {
            result.append(shape_ == IconShape::square
                              ? QSize(height, height)
                              : pixmap(QSize(height * 16, height), mode, state).size());
        }
        return result;
    }

    // The largest rendering that fits `size`: as tall as the box for the
    // square look, and for the wide one as tall as the box allows.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int height = std::min(size.width(), size.height());
        if (height <= 0) {
            return QPixmap();
        }
        if (shape_ == IconShape::square) {
            return QPixmap::fromImage(image(height));
        }
        QImage wide = image(size.height());
        if (wide.width() > size.width()) {
            wide = wide.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        return QPixmap::fromImage(wide);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        const QSizeF shown = drawn.deviceIndependentSize();
        painter->drawPixmap(QPointF(rect.x() + (rect.width() - shown.width()) / 2,
                                    rect.y() + (rect.height() - shown.height()) / 2),
                            drawn);
    }

private:
    // 44 is the 22 px slot of a panel at twice the pixel density.
    static constexpr std::array sizes{16, 22, 24, 32, 44, 48, 64};

    // A tray repaints its slot at one size, so the last rendering is kept.
    const QImage& image(int height) {
        if (last_.height() != height) {
            last_ = renderStatusImage(symbolName_, title_, colour_, height, shape_);
        }
        return last_;
    }

    std::string symbolName_;
    std::string title_;
    QColor colour_;
    IconShape shape_;
    QImage last_;
};

} // namespace

QIcon renderStatusIcon(const StatusItemPresentation& presentation, const QPalette& palette,
                       IconShape shape) {
    return QIcon(new StatusIconEngine(presentation.symbolName, presentation.title,
                                      toneColour(presentation.tone, palette), shape));
}

} // namespace menubar::app
