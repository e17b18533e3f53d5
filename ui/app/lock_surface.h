// What the surface lock holds back, widget by widget: every control under the surface that
// edits takes no mouse, key or wheel input and draws dimmed, so also the page operations of
// several steps (RESET, recalls, CLEAR MUTE, group switches) cannot start. Controls that only
// move the view (tabs, views, buses, the ways into the detail pages) keep working, as do the
// meters and the readout's texts. The edit controller's lock stays the one truth; this follows it.
#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class QWidget;

namespace quorvel::ui {

class EditController;

class SurfaceLock : public QObject {
    Q_OBJECT
public:
    SurfaceLock(EditController& edits, QWidget* surface, QObject* parent = nullptr);
    ~SurfaceLock() override;

    // A control whose only effect is to show another part of the surface.
    static bool navigates(const QWidget* control);
    // A control under the surface that the lock holds back (false for anything else, pages and
    // meters included). The widget may be a part of the control (a list's viewport).
    bool holdsBack(const QWidget* w) const;
    bool dimmed(const QWidget* control) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(bool locked);
    const QWidget* controlOf(const QWidget* w) const;
    void dim(QWidget* control);

    EditController& edits_;
    QPointer<QWidget> surface_;
    std::vector<QPointer<QWidget>> dimmed_;
    bool active_ = false;
};

} // namespace quorvel::ui
