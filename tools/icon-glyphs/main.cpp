// Writes the outlines the tray icon draws its percentage with, as C++ data, so
// the running app can fill the digits as paths and never start the font stack
// (fontconfig, FreeType, HarfBuzz and a font file come to about 2 MiB resident,
// a third of what the app costs beyond Qt itself). Run it again only to change
// the face:
//
//   QT_QPA_PLATFORM=offscreen icon-glyphs [FONT.ttf] >
//   apps/menubar/MenubarCore/status/IconGlyphOutlines.inc
//
// The default face is DejaVu Sans Condensed Bold (Debian's fonts-dejavu-extra),
// the face the tray title was set in when drawn through Qt's fonts.

#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRawFont>
#include <QTextStream>

namespace {

constexpr auto characters = "0123456789%-";

// Outline coordinates in the font's own units per em, so integral points stay integral.
constexpr double unitsPerEm = 2048;

QString number(double value) {
    return QString::number(value / unitsPerEm, 'g', 6);
}

const char* licence =
    R"(// The outlines are DejaVu Sans Condensed Bold's. Its licence asks for this notice:
//
// Copyright (c) 2003 by Bitstream, Inc. All Rights Reserved. Bitstream Vera is
// a trademark of Bitstream, Inc. DejaVu changes are in public domain.
//
// Permission is hereby granted, free of charge, to any person obtaining a copy
// of the fonts accompanying this license ("Fonts") and associated documentation
// files (the "Font Software"), to reproduce and distribute the Font Software,
// including without limitation the rights to use, copy, merge, publish,
// distribute, and/or sell copies of the Font Software, and to permit persons to
// whom the Font Software is furnished to do so, subject to the following
// conditions:
//
// The above copyright and trademark notices and this permission notice shall be
// included in all copies of one or more of the Font Software typefaces.
//
// The Font Software may be modified, altered, or added to, and in particular
// the designs of glyphs or characters in the Fonts may be modified and
// additional glyphs or characters may be added to the Fonts, only if the fonts
// are renamed to names not containing either the words "Bitstream" or the word
// "Vera".
//
// This License becomes null and void to the extent applicable to Fonts or Font
// Software that has been modified and is distributed under the "Bitstream Vera"
// names.
//
// The Font Software may be sold as part of a larger software package but no
// copy of one or more of the Font Software typefaces may be sold by itself.
//
// THE FONT SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS
// OR IMPLIED, INCLUDING BUT NOT LIMITED TO ANY WARRANTIES OF MERCHANTABILITY,
// FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT OF COPYRIGHT, PATENT,
// TRADEMARK, OR OTHER RIGHT. IN NO EVENT SHALL BITSTREAM OR THE GNOME
// FOUNDATION BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, INCLUDING ANY
// GENERAL, SPECIAL, INDIRECT, INCIDENTAL, OR CONSEQUENTIAL DAMAGES, WHETHER IN
// AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF THE USE OR
// INABILITY TO USE THE FONT SOFTWARE OR FROM OTHER DEALINGS IN THE FONT
// SOFTWARE.
//
// Except as contained in this notice, the names of Gnome, the Gnome Foundation,
// and Bitstream Inc., shall not be used in advertising or otherwise to promote
// the sale, use or other dealings in this Font Software without prior written
// authorization from the Gnome Foundation or Bitstream Inc., respectively. For
// further information, contact: fonts at gnome dot org.
)";

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral("/usr/share/fonts/truetype/dejavu/"
                                                   "DejaVuSansCondensed-Bold.ttf");
    const QRawFont font(file, unitsPerEm, QFont::PreferNoHinting);
    if (!font.isValid()) {
        std::fprintf(stderr, "icon-glyphs: cannot read the font %s\n", qPrintable(file));
        return 1;
    }

    QString glyphs;
    QString segments;
    QTextStream glyphOut(&glyphs);
    QTextStream segmentOut(&segments);
    int count = 0;
    for (const char* c = characters; *c != '\0'; ++c) {
        const QList<quint32> indexes = font.glyphIndexesForString(QString(QChar(*c)));
        if (indexes.size() != 1 || indexes.front() == 0) {
            std::fprintf(stderr, "icon-glyphs: the font has no glyph for '%c'\n", *c);
            return 1;
        }
        const QPainterPath path = font.pathForGlyph(indexes.front());
        const QPointF advance = font.advancesForGlyphIndexes(indexes).front();
        const QRectF ink = path.boundingRect();
        const int first = count;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element element = path.elementAt(i);
            switch (element.type) {
            case QPainterPath::MoveToElement:
                segmentOut << "    {Verb::move, {{{" << number(element.x) << ", "
                           << number(element.y) << "}}}},\n";
                break;
            case QPainterPath::LineToElement:
                segmentOut << "    {Verb::line, {{{" << number(element.x) << ", "
                           << number(element.y) << "}}}},\n";
                break;
            case QPainterPath::CurveToElement: {
                const QPainterPath::Element second = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                segmentOut << "    {Verb::cubic, {{{" << number(element.x) << ", "
                           << number(element.y) << "}, {" << number(second.x) << ", "
                           << number(second.y) << "}, {" << number(end.x) << ", " << number(end.y)
                           << "}}}},\n";
                i += 2;
                break;
            }
            case QPainterPath::CurveToDataElement:
                break;
            }
            ++count;
        }
        glyphOut << "    {'" << (*c == '\'' ? "\\'" : QString(QChar(*c))) << "', "
                 << number(advance.x()) << ", {" << number(ink.left()) << ", " << number(ink.top())
                 << ", " << number(ink.right()) << ", " << number(ink.bottom()) << "}, " << first
                 << ", " << count - first << "},\n";
    }
    glyphOut.flush();
    segmentOut.flush();

    QTextStream out(stdout);
    out << "// Generated by tools/icon-glyphs; do not edit by hand. Units are ems, y grows\n"
           "// downwards from the baseline.\n//\n"
        << licence << "\n"
        << "// {verb, points}: a move or line uses the first point, a cubic all three.\n"
           "inline constexpr Segment glyphSegments[] = {\n"
        << segments << "};\n\n"
        << "// {character, advance, ink {left, top, right, bottom}, first segment, segment count}\n"
           "inline constexpr Glyph glyphTable[] = {\n"
        << glyphs << "};\n";
    return 0;
}
