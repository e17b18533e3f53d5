// The skin's colours and the style sheets of the platform widgets that sit on the mixer surface
// (menus, line edits, lists, plain labels). One place, so a colour changes everywhere at once and
// no page keeps a private copy.
#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QLineEdit;
class QMenuBar;
class QScrollArea;
class QTreeWidget;

namespace quorvel::ui::skin {

inline const QColor kLabel{0xC8, 0xCC, 0xD2};   // captions beside the controls
inline const QColor kSurface{0x1E, 0x20, 0x24}; // behind the canvas while it is laid out
inline const QColor kPlateTop{0x3C, 0x42, 0x4C};
inline const QColor kPlateBottom{0x1A, 0x1D, 0x22};
inline const QColor kOutline{0x08, 0x09, 0x0B};
inline const QColor kShadowLine{0, 0, 0, 140};
inline const QColor kHighlightLine{255, 255, 255, 20};
inline const QColor kGroupFrame{255, 255, 255, 18}; // a quiet frame around related controls
inline const QColor kGroupFill{0, 0, 0, 40};
inline const QColor kWarning{0xF0, 0x9A, 0x3C};
inline const QColor kStripFallback{0x24, 0x27, 0x2C}; // a strip when its panel art is missing
inline const QColor kInsetFill{0x0B, 0x0D, 0x10};     // small plots inside a strip
inline const QColor kInsetBorder{0x2C, 0x31, 0x38};
inline const QColor kCurveActive{0xF0, 0xA0, 0x30}; // an equaliser that is switched in
inline const QColor kCurveBypassed{0x6A, 0x70, 0x78};
inline const QColor kZeroLine{0x8C, 0x93, 0x9E, 120};
inline const QColor kRule{0x8C, 0x93, 0x9E}; // a plain line dividing a page

enum class LabelTone { Normal, Dim, Bright, Online, Warning };

void styleLabel(QLabel* label, LabelTone tone = LabelTone::Normal);
// The readout's value fields: white on black, compact.
void styleValueField(QLineEdit* field);
// The settings page's entry fields.
void styleEntryField(QLineEdit* field);
void styleList(QTreeWidget* list);
void styleMenuBar(QMenuBar* bar);
void styleScrollArea(QScrollArea* area);

} // namespace quorvel::ui::skin
