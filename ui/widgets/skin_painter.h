// Shared drawing of the window's own surfaces: the tiled background, panels and their titles.
// The skinned controls draw themselves; this covers what lies between them.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QApplication;
class QPainter;

namespace quorvel::ui::skin {

inline const QColor kAccent{0x2C, 0xD4, 0xF0}; // selection: the cyan of the skin art
inline const QColor kText{0xE6, 0xE8, 0xEC};
inline const QColor kTextDim{0x8C, 0x93, 0x9E};
inline const QColor kOnline{0x3C, 0xE0, 0x6A};

QFont uiFont(int pixelSize, bool bold = false);

// The platform look for what the skin does not paint itself (scroll bars, message boxes, dialog
// buttons, menus): a dark palette so that none of it glares white beside the mixer surface.
void applyApplicationLook(QApplication& app);

// Generated once; tiled from the window origin so that scrolling never shows a seam.
const QPixmap& backgroundTile();
void paintBackground(QPainter& p, const QRect& area);

void paintPanel(QPainter& p, const QRectF& r);
void paintPanelTitle(QPainter& p, const QRectF& band, const QString& title);
// The title mark in the window's top left corner: the skin's art, else a drawn plate.
void paintTitleMark(QPainter& p);
// The hairline that separates the navigation from the page area, at y.
void paintDivider(QPainter& p, int y, int width);
// A quiet frame around controls that belong together.
void paintGroupFrame(QPainter& p, const QRectF& r);
// The application's icon: three fader caps on a dark plate, size x size pixels.
void paintApplicationIcon(QPainter& p, int size);
// A round lamp with a soft halo when lit.
void paintLamp(QPainter& p, const QPointF& centre, qreal radius, const QColor& colour, bool lit);

} // namespace quorvel::ui::skin
