// The tray icon: every symbol has a drawing, renderings have the size a tray
// asks for, and at the XEmbed slot size the percentage stays large enough to read.

#include <QTest>

#include <cstdlib>

#include "app/system/Symbols.hpp"
#include "app/tray/TrayIconRenderer.hpp"
#include "status/Legibility.hpp"

using namespace menubar;
using namespace menubar::app;

namespace {

// The box around opaque pixels close to this colour (antialiased edges and the
// halo do not count).
QRect inkOf(const QImage& image, const QColor& colour) {
    QRect ink;
    const QImage flat = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < flat.height(); ++y)
        for (int x = 0; x < flat.width(); ++x) {
            const QColor pixel = flat.pixelColor(x, y);
            if (pixel.alpha() > 200 && std::abs(pixel.red() - colour.red()) < 40 &&
                std::abs(pixel.green() - colour.green()) < 40 &&
                std::abs(pixel.blue() - colour.blue()) < 40)
                ink |= QRect(x, y, 1, 1);
        }
    return ink;
}

} // namespace

class TrayIconRendererTest : public QObject {
    Q_OBJECT

private slots:
    void everySymbolNameHasADrawing() {
        for (const char* name :
             {"eye", "eye.slash", "eye.trianglebadge.exclamationmark", "lock", "xmark.octagon",
              "exclamationmark.triangle", "arrow.clockwise", "minus.circle", "plus.circle"})
            QVERIFY2(hasSymbol(name), name);
        QVERIFY(!hasSymbol("gear"));
        QVERIFY(!hasSymbol(""));
    }

    // A square rendering is height by height, and a wide one without a title too
    // (the tests below take a title). Nothing to draw (an unknown symbol and no
    // title) leaves it transparent.
    void renderingSizes() {
        const struct {
            const char* symbol;
            const char* title;
            IconShape shape;
            int height;
            bool wider;
            bool empty;
        } rows[] = {{"eye.slash", "", IconShape::square, 16, false, false},
                    {"gear", "72%", IconShape::square, 22, false, false},
                    {"gear", "", IconShape::square, 22, false, true},
                    {"eye", "", IconShape::wide, 22, false, false}};
        for (const auto& row : rows) {
            const QImage image = renderStatusImage(row.symbol, row.title, QColor(0x34, 0xc7, 0x59),
                                                   row.height, row.shape);
            QCOMPARE(image.height(), row.height);
            QCOMPARE(image.width() > row.height, row.wider);
            if (!row.wider)
                QCOMPARE(image.width(), row.height);
            QImage blank(image.size(), image.format());
            blank.fill(Qt::transparent);
            QCOMPARE(image == blank, row.empty);
        }
    }

    void percentageStaysLegibleInAnXEmbedSlot() {
        const QColor orange = toneColour(Tone::warn, QPalette());
        const QImage image = renderStatusImage("eye.trianglebadge.exclamationmark", "72%", orange,
                                               22, IconShape::square);
        // The title fills most of the slot's width and its digits stay about 7 px or more
        // to read; squeezed into a wide item they would be about 5 px tall.
        const QRect title = inkOf(image.copy(0, 9, 22, 13), orange);
        QVERIFY2(title.width() >= 14, qPrintable(QString::number(title.width())));
        QVERIFY2(title.height() >= 7, qPrintable(QString::number(title.height())));
        // A light tone stands on a dark halo, which sharpens its edges on a light panel.
        bool darkHalo = false;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                darkHalo |=
                    image.pixelColor(x, y).alpha() > 100 && image.pixelColor(x, y).lightness() < 40;
        QVERIFY(darkHalo);
    }

    // Each size is rendered for the slot rather than rescaled from a neighbour,
    // and a wide rendering never overflows the box it is asked to fit.
    void iconRendersTheSizeAskedFor() {
        const StatusItemPresentation look{"eye", "72%", Tone::ok, "tooltip"};
        const QIcon square = renderStatusIcon(look, QPalette(), IconShape::square);
        const QImage expected = renderStatusImage("eye", "72%", toneColour(Tone::ok, QPalette()),
                                                  28, IconShape::square);
        QCOMPARE(square.pixmap(QSize(28, 40)).toImage().convertToFormat(expected.format()),
                 expected);

        const QIcon wide = renderStatusIcon(look, QPalette(), IconShape::wide);
        QCOMPARE(wide.pixmap(QSize(200, 22)).height(), 22);
        QVERIFY(wide.pixmap(QSize(200, 22)).width() > 22);
        const QSize narrow = wide.pixmap(QSize(30, 22)).size();
        QVERIFY2(narrow.width() <= 30 && narrow.height() < 22,
                 qPrintable(QString::number(narrow.height())));
    }

    // The tones are fitted to the window colour the palette reports; muted
    // starts from the text colour, not a placeholder left from a light palette.
    void everyToneReadsOnThePanelThePaletteReports() {
        QPalette dark(QColor(0xee, 0xee, 0xee), QColor(0x1f, 0x1f, 0x1f));
        dark.setColor(QPalette::PlaceholderText, QColor(0, 0, 0, 128));
        const auto of = [](const QColor& c) {
            return Legibility::Colour{c.redF(), c.greenF(), c.blueF()};
        };
        for (const QPalette& palette : {QPalette(), dark})
            for (const Tone tone : {Tone::ok, Tone::warn, Tone::critical, Tone::muted})
                QVERIFY(Legibility::contrast(of(toneColour(tone, palette)),
                                             of(palette.color(QPalette::Window))) >=
                        Legibility::minimumContrast);
        QVERIFY(toneColour(Tone::muted, dark).lightness() > 140);
    }
};

QTEST_MAIN(TrayIconRendererTest)
#include "test_tray_icon_renderer.moc"
