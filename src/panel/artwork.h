#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;
class QRectF;

// The program's own pictures, drawn here rather than shipped as files.
namespace Artwork {

// The logo: a clock face over a time-code pulse train, on a dark blue tile.
// Scales to any size.
void paintLogo(QPainter &painter, const QRectF &bounds);

// The logo as the window shows it: 32 x 32, at most 16 colours.
QPixmap logo32();

// The window icon, with the 32 x 32 image and larger renderings for
// desktops that ask for them.
QIcon logoIcon();

// The lock lamp, 16 x 16 on a transparent background: green when the reader
// is locked, grey when it is not.
const QPixmap &lockLamp(bool locked);

} // namespace Artwork
