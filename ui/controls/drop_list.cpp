#include "controls/drop_list.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

#include "controls/skin_store.h"
#include "controls/wheel_gate.h"

namespace quorvel {

namespace {
const char* kListStyle =
    "QListWidget { background: #1B2232; border: 1px solid #1B2232; color: #E6EBF0; outline: 0; }"
    "QListWidget::item { padding-left: 8px; border-bottom: 1px solid #232C3E; }"
    "QListWidget::item:hover { background: #24304A; }"
    "QListWidget::item:selected { background: #0D848A; color: #FFFFFF; }"
    "QScrollBar:vertical { background: #151B28; width: 10px; margin: 0; }"
    "QScrollBar::handle:vertical { background: #3A4660; min-height: 24px; border-radius: 4px; }"
    "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }";
} // namespace

DropList::DropList(int id, QWidget* parent) : QWidget(parent), id_(id) {
    setFocusPolicy(Qt::StrongFocus);
    list_ = new QListWidget(this);
    list_->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    list_->setAttribute(Qt::WA_NoMouseReplay);
    list_->setObjectName(QStringLiteral("dropListPopup%1").arg(kListId));
    list_->setStyleSheet(QString::fromLatin1(kListStyle));
    list_->setFont(SkinStore::font(9));
    list_->setUniformItemSizes(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    list_->hide();
}

DropList::~DropList() {
    WheelGate::shared().pointerLeft(this);
}

void DropList::addItem(const QString& text) {
    auto* item = new QListWidgetItem(text, list_);
    item->setSizeHint(QSize(0, kItemHeight));
}

void DropList::setItems(const QStringList& items) {
    clear();
    for (const QString& t : items)
        addItem(t);
}

void DropList::clear() {
    list_->clear();
    selection_ = -1;
    caption_.clear();
    update();
}

int DropList::count() const {
    return list_->count();
}

QString DropList::itemText(int index) const {
    const QListWidgetItem* it = list_->item(index);
    return it ? it->text() : QString();
}

void DropList::setSelection(int index) {
    if (count() == 0) return;
    selection_ = std::clamp(index, 0, count() - 1);
    {
        const QSignalBlocker block(list_);
        list_->setCurrentRow(selection_);
    }
    caption_ = itemText(selection_);
    setToolTip(caption_);
    update();
}

void DropList::setBitmaps(int normalId, int activeId) {
    normalId_ = SkinStore::has(normalId) ? normalId : 0;
    activeId_ = SkinStore::has(activeId) ? activeId : 0;
    if (normalId_) resize(SkinStore::naturalSize(normalId_));
    update();
}

void DropList::setTextColors(QColor normal, QColor active) {
    textNormal_ = normal;
    textActive_ = active;
    update();
}

QRect DropList::popupGeometry() const {
    const int h = count() == 0 ? maxDropHeight_ : std::min(maxDropHeight_, count() * kItemHeight);
    const QPoint topLeft = mapToGlobal(QPoint(0, height() - 1));
    return {topLeft, QSize(dropWidth(), h + 1)};
}

bool DropList::isPopupVisible() const {
    return list_->isVisible();
}

void DropList::showPopup() {
    openedWith_ = selection_;
    list_->setGeometry(popupGeometry());
    {
        const QSignalBlocker block(list_);
        list_->setCurrentRow(selection_);
    }
    if (selection_ >= 0) list_->scrollToItem(list_->item(selection_), QAbstractItemView::PositionAtCenter);
    list_->show();
    list_->setFocus(Qt::PopupFocusReason);
}

void DropList::hidePopup() {
    list_->hide();
}

void DropList::listSelectionChanged(int index, bool pointerInside) {
    hidePopup();
    if (pointerInside && index >= 0 && index < count()) {
        choose(index);
        return;
    }
    const QSignalBlocker block(list_);
    list_->setCurrentRow(openedWith_);
}

void DropList::choose(int index) {
    selection_ = index;
    caption_ = itemText(index);
    setToolTip(caption_);
    active_ = true;
    setFocus(Qt::OtherFocusReason);
    update();
    emit itemChosen(id_, index);
    const QSignalBlocker block(list_);
    list_->setCurrentRow(index);
}

QSize DropList::sizeHint() const {
    if (normalId_) return SkinStore::naturalSize(normalId_);
    return {100, 24};
}

void DropList::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The art has no disabled image; a list that takes no choice must not look as if it did.
    if (!isEnabled()) p.setOpacity(0.4);
    const int img = active_ && activeId_ ? activeId_ : normalId_;
    if (img) {
        p.drawPixmap(0, 0, SkinStore::pixmap(img, size(), p.device()->devicePixelRatioF()));
    } else {
        p.fillRect(rect(), palette().button());
    }
    p.setPen(active_ ? textActive_ : textNormal_);
    p.setFont(SkinStore::pixelFont(14));
    // The art carries the drop arrow at its right end; keep the caption clear of it.
    const int arrowRoom = std::min(height(), width() / 4);
    p.drawText(rect().adjusted(4, 0, -arrowRoom, 0), Qt::AlignCenter | Qt::TextSingleLine, caption_);
}

void DropList::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !isEnabled()) return;
    active_ = false;
    update();
    if (!isPopupVisible())
        showPopup();
    else
        hidePopup();
}

void DropList::wheelEvent(QWheelEvent* e) {
    e->accept();
    if (!isEnabled() || count() == 0) {
        passWheelToPage(this, e); // a list that takes no choice does not stop the page either
        return;
    }
    if (!controlTakesWheel(this, e)) return;
    wheelAccumulator_ = std::clamp(wheelAccumulator_ + e->angleDelta().y(), -120, 120);
    int index;
    if (wheelAccumulator_ <= -120)
        index = std::min(selection_ + 1, count() - 1);
    else if (wheelAccumulator_ >= 120)
        index = std::max(selection_ - 1, 0);
    else
        return;
    wheelAccumulator_ = 0;
    setSelection(index);
    emit itemChosen(id_, selection_);
}

void DropList::enterEvent(QEnterEvent* e) {
    WheelGate::shared().pointerEntered(this);
    QWidget::enterEvent(e);
}

void DropList::leaveEvent(QEvent* e) {
    WheelGate::shared().pointerLeft(this);
    QWidget::leaveEvent(e);
}

void DropList::keyPressEvent(QKeyEvent* e) {
    if (isEnabled() && (e->key() == Qt::Key_Space || e->key() == Qt::Key_F4 ||
                        (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier)))) {
        showPopup();
        return;
    }
    QWidget::keyPressEvent(e);
}

void DropList::focusOutEvent(QFocusEvent* e) {
    if (e->reason() != Qt::PopupFocusReason && !list_->hasFocus()) hidePopup();
    QWidget::focusOutEvent(e);
}

bool DropList::eventFilter(QObject* watched, QEvent* e) {
    if (watched == list_->viewport() && e->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(e);
        const QPoint pos = me->position().toPoint();
        if (QListWidgetItem* item = list_->itemAt(pos)) {
            listSelectionChanged(list_->row(item), list_->viewport()->rect().contains(pos));
            return true;
        }
    }
    if (watched == list_ && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            // Enter confirms the highlighted row, as a keyboard user expects of a list.
            listSelectionChanged(list_->currentRow(), true);
            return true;
        }
        if (ke->key() == Qt::Key_Escape) {
            listSelectionChanged(list_->currentRow(), false);
            return true;
        }
    }
    if (watched == list_ && e->type() == QEvent::Hide) {
        const QSignalBlocker block(list_);
        list_->setCurrentRow(selection_);
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace quorvel
