#include "widgets/skin_style.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollArea>
#include <QTreeWidget>

#include "widgets/skin_painter.h"

namespace quorvel::ui::skin {
namespace {

QString hex(const QColor& c) {
    return c.name(QColor::HexRgb);
}

const QColor kFieldBase{0x0E, 0x10, 0x13};
const QColor kValueBase{0x07, 0x08, 0x0A};
const QColor kDeepOutline{0x05, 0x06, 0x07};
const QColor kEntryText{0xF2, 0xF3, 0xF5};
const QColor kListBase{0x11, 0x13, 0x17};
const QColor kListAlternate{0x17, 0x1A, 0x1F};
const QColor kHeader{0x2A, 0x2F, 0x36};
const QColor kMenuBar{0x16, 0x18, 0x1C};
const QColor kMenuBarHover{0x2E, 0x33, 0x3B};
const QColor kMenu{0x1E, 0x21, 0x26};
const QColor kMenuHover{0x3A, 0x32, 0x26};

} // namespace

void styleLabel(QLabel* label, LabelTone tone) {
    const QColor c = tone == LabelTone::Dim       ? kTextDim
                     : tone == LabelTone::Bright  ? kText
                     : tone == LabelTone::Online  ? kOnline
                     : tone == LabelTone::Warning ? kWarning
                                                  : kLabel;
    label->setStyleSheet(QStringLiteral("color: %1;").arg(hex(c)));
}

void styleValueField(QLineEdit* field) {
    field->setStyleSheet(QStringLiteral("QLineEdit { background: %1; color: white; border: 1px solid %2;"
                                        " border-radius: 3px; padding: 0; selection-background-color: %3; }"
                                        "QLineEdit:focus { border: 1px solid %3; }")
                             .arg(hex(kValueBase), hex(kInsetBorder), hex(kAccent)));
}

void styleEntryField(QLineEdit* field) {
    field->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 4px; padding: 2px 8px; selection-background-color: %4; }"
                       "QLineEdit:focus { border: 1px solid %4; }")
            .arg(hex(kFieldBase), hex(kEntryText), hex(kDeepOutline), hex(kAccent)));
}

void styleList(QTreeWidget* list) {
    list->setStyleSheet(QStringLiteral("QTreeWidget { background: %1; color: %2; border: 1px solid %3;"
                                       " border-radius: 4px; alternate-background-color: %4; }"
                                       "QHeaderView::section { background: %5; color: %6; border: none;"
                                       " padding: 4px 8px; font-weight: bold; }")
                            .arg(hex(kListBase), hex(kText), hex(kDeepOutline), hex(kListAlternate),
                                 hex(kHeader), hex(kLabel)));
}

void styleMenuBar(QMenuBar* bar) {
    bar->setStyleSheet(QStringLiteral("QMenuBar { background: %1; color: %2; border-bottom: 1px solid %3; }"
                                      "QMenuBar::item:selected { background: %4; color: %5; }"
                                      "QMenu { background: %6; color: %7; border: 1px solid %3; }"
                                      "QMenu::item:selected { background: %8; color: %5; }")
                           .arg(hex(kMenuBar), hex(kLabel), hex(kOutline), hex(kMenuBarHover), hex(kAccent),
                                hex(kMenu), hex(kText), hex(kMenuHover)));
}

void styleScrollArea(QScrollArea* area) {
    area->setStyleSheet(QStringLiteral("QScrollArea { background: %1; }").arg(hex(kSurface)));
}

} // namespace quorvel::ui::skin
