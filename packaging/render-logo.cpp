// Renders the logo for the desktop's icon theme from the drawing the window
// itself uses, so that the installed icons can never drift from it.
//
//   qv718-render-logo DIR SIZE...
//       writes DIR/<SIZE>x<SIZE>/apps/qv718-panel.png for every SIZE
//   qv718-render-logo --compare PICTURE.png LIMIT
//       draws the logo at the picture's size and prints the share of pixels,
//       in percent, in which the picture differs from it. Exits 1 when that
//       exceeds LIMIT. Holds the hand-drawn SVG to the drawing.
//
// Exit status 2 means bad arguments or a file that cannot be read or written.

#include "panel/artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QStringList>

#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace {

QImage drawLogo(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Artwork::paintLogo(painter, QRectF(0, 0, size, size));
    painter.end();
    return image;
}

int render(const QString &folder, const QStringList &sizes)
{
    for (const QString &text : sizes) {
        bool ok = false;
        const int size = text.toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "qv718-render-logo: not a size: %s\n", qPrintable(text));
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString file = dir + QStringLiteral("/qv718-panel.png");
        if (!QDir().mkpath(dir) || !drawLogo(size).save(file, "PNG")) {
            std::fprintf(stderr, "qv718-render-logo: cannot write %s\n", qPrintable(file));
            return 2;
        }
    }
    return 0;
}

int compare(const QString &file, const QString &limitText)
{
    bool ok = false;
    const double limit = limitText.toDouble(&ok);
    QImage picture(file);
    if (!ok || picture.isNull() || picture.width() != picture.height()) {
        std::fprintf(stderr, "qv718-render-logo: need a square PNG and a limit\n");
        return 2;
    }
    // Premultiplied, so that the colour of a fully transparent pixel counts
    // for nothing.
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage logo = drawLogo(picture.width());
    // A pixel is off when one of its channels differs by more than a
    // rasterizer's anti-aliasing would make it; a mean over the whole picture
    // would hide a wrong hand or a missing pulse in the blue of the tile.
    long off = 0;
    for (int y = 0; y < logo.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(logo.constScanLine(y));
        for (int x = 0; x < logo.width(); ++x) {
            const int difference = std::max({std::abs(qRed(a[x]) - qRed(b[x])),
                                             std::abs(qGreen(a[x]) - qGreen(b[x])),
                                             std::abs(qBlue(a[x]) - qBlue(b[x])),
                                             std::abs(qAlpha(a[x]) - qAlpha(b[x]))});
            if (difference > 48)
                ++off;
        }
    }
    const double percent = 100.0 * off / (double(logo.width()) * logo.height());
    std::printf("%s: %.2f %% of the pixels differ from the drawn logo (limit %.2f %%)\n",
                qPrintable(file), percent, limit);
    return percent <= limit ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QStringList args = QGuiApplication::arguments();
    args.removeFirst();
    if (args.size() == 3 && args[0] == QStringLiteral("--compare"))
        return compare(args[1], args[2]);
    if (args.size() >= 2 && !args[0].startsWith(QLatin1Char('-')))
        return render(args[0], args.mid(1));
    std::fprintf(stderr, "usage: qv718-render-logo DIR SIZE...\n"
                         "       qv718-render-logo --compare PICTURE.png LIMIT\n");
    return 2;
}
