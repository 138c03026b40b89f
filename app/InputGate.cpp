#include "InputGate.h"

#include <QApplication>
#include <QEvent>

namespace talmar {

namespace {

// The window an event's target belongs to. A menu pops up as a window of its own, so its items
// and the menu itself count as part of the window whose menu bar holds it; an action (the target
// of a shortcut) counts as part of the window of the widget that owns it.
QWidget* OwnerWindow(QObject* target) {
    for (QObject* o = target; o; o = o->parent()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w->windowType() != Qt::Popup)
            return w->window();
    }
    return nullptr;
}

} // namespace

TInputGate::~TInputGate() {
    if (depth_ > 0)
        qApp->removeEventFilter(this);
}

bool TInputGate::IsUserInput(const QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

void TInputGate::Close() {
    if (depth_++ > 0)
        return;
    windows_.clear();
    for (QWidget* w : QApplication::topLevelWidgets())
        windows_.emplace_back(w);
    qApp->installEventFilter(this);
}

void TInputGate::Open() {
    if (depth_ == 0 || --depth_ > 0)
        return;
    // What the user typed while the command ran is still queued: deliver it into the filter.
    ++depth_;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --depth_;
    qApp->removeEventFilter(this);
    windows_.clear();
}

bool TInputGate::Gated(QObject* target) const {
    QWidget* window = OwnerWindow(target);
    if (!window)
        return false;
    for (const auto& w : windows_)
        if (w == window)
            return true;
    return false;
}

bool TInputGate::eventFilter(QObject* watched, QEvent* e) {
    if (depth_ > 0 && IsUserInput(e) && Gated(watched)) {
        e->accept();
        return true;
    }
    return QObject::eventFilter(watched, e);
}

} // namespace talmar
