#include "artwork.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace Artwork {

// Drawn once per run, on first use.
namespace {
QPixmap renderLogo32();
QIcon renderLogoIcon();
QPixmap renderLockLamp(bool locked);
} // namespace

void paintLogo(QPainter &painter, const QRectF &bounds)
{
    painter.save();
    painter.translate(bounds.topLeft());
    painter.scale(bounds.width() / 32.0, bounds.height() / 32.0);
    painter.setRenderHint(QPainter::Antialiasing);

    // Tile.
    painter.setPen(QPen(QColor(0x0a, 0x1f, 0x44), 1));
    painter.setBrush(QColor(0x12, 0x3a, 0x7a));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);

    // Clock face.
    painter.setPen(QPen(QColor(0x0a, 0x1f, 0x44), 1.2));
    painter.setBrush(QColor(0xf4, 0xf4, 0xf0));
    painter.drawEllipse(QPointF(16, 13), 9.5, 9.5);
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    for (int i = 0; i < 12; i += 3) {
        const double a = i * M_PI / 6;
        painter.drawLine(QPointF(16 + 7.5 * std::sin(a), 13 - 7.5 * std::cos(a)),
                         QPointF(16 + 9 * std::sin(a), 13 - 9 * std::cos(a)));
    }
    painter.setPen(QPen(QColor(0x10, 0x10, 0x10), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 13), QPointF(16, 7));
    painter.drawLine(QPointF(16, 13), QPointF(20.5, 14.5));
    painter.setPen(QPen(QColor(0xd0, 0x20, 0x20), 0.9, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 13), QPointF(11.5, 18));

    // Time-code pulses: short, long, short, long.
    QPainterPath pulses;
    const double base = 29.5, high = 25;
    pulses.moveTo(2.5, base);
    double x = 2.5;
    for (double width : {2.5, 5.5, 2.5, 5.5}) {
        pulses.lineTo(x + 1, base);
        pulses.lineTo(x + 1, high);
        pulses.lineTo(x + 1 + width, high);
        pulses.lineTo(x + 1 + width, base);
        x += 1 + width + 0.5;
    }
    pulses.lineTo(29.5, base);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0x5c, 0xe0, 0x5c), 1.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawPath(pulses);
    painter.restore();
}

QPixmap logo32()
{
    static const QPixmap logo = renderLogo32();
    return logo;
}

QIcon logoIcon()
{
    static const QIcon icon = renderLogoIcon();
    return icon;
}

const QPixmap &lockLamp(bool locked)
{
    static const QPixmap lamps[2] = {renderLockLamp(false), renderLockLamp(true)};
    return lamps[locked ? 1 : 0];
}

namespace {

QPixmap renderLogo32()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintLogo(painter, QRectF(0, 0, 32, 32));
    }
    // Fold the rendering into a 16-colour image.
    const QList<QRgb> palette = {
        qRgba(0, 0, 0, 0),    qRgb(0x0a, 0x1f, 0x44), qRgb(0x12, 0x3a, 0x7a),
        qRgb(0x3b, 0x5c, 0x94), qRgb(0x7f, 0x93, 0xb8), qRgb(0xf4, 0xf4, 0xf0),
        qRgb(0xc8, 0xc8, 0xc4), qRgb(0x90, 0x90, 0x90), qRgb(0x30, 0x30, 0x30),
        qRgb(0x10, 0x10, 0x10), qRgb(0xd0, 0x20, 0x20), qRgb(0xe8, 0x90, 0x90),
        qRgb(0x5c, 0xe0, 0x5c), qRgb(0x3a, 0x8c, 0x5a), qRgb(0x60, 0x60, 0x60),
        qRgb(0xb0, 0xb8, 0xd0),
    };
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, palette,
                                                 Qt::ThresholdDither | Qt::AvoidDither);
    return QPixmap::fromImage(indexed.convertToFormat(QImage::Format_ARGB32));
}

QIcon renderLogoIcon()
{
    QIcon icon(logo32());
    for (int size : {16, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintLogo(painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap renderLockLamp(bool locked)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor light = locked ? QColor(0xc8, 0xff, 0xb4) : QColor(0xf8, 0xf8, 0xf8);
    const QColor middle = locked ? QColor(0x2e, 0xc0, 0x2e) : QColor(0xa8, 0xa8, 0xa8);
    const QColor dark = locked ? QColor(0x0c, 0x5c, 0x0c) : QColor(0x58, 0x58, 0x58);
    QRadialGradient glow(QPointF(6, 5.5), 9, QPointF(5.5, 5));
    glow.setColorAt(0, light);
    glow.setColorAt(0.45, middle);
    glow.setColorAt(1, dark);
    painter.setPen(QPen(dark.darker(130), 1));
    painter.setBrush(glow);
    painter.drawEllipse(QPointF(8, 8), 6.8, 6.8);
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace
} // namespace Artwork
