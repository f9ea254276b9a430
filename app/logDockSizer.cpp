// The log dock's height as a share of the window's, dragged by the user and remembered.
#include "logDockSizer.h"

#include <QDockWidget>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>
#include <cmath>

#include "settingsStore.h"

namespace {

const char kShareKey[] = "logDockShare";

}  // namespace

logDockSizer::logDockSizer(QMainWindow* window, QDockWidget* dock)
    : QObject(window), m_window(window), m_dock(dock) {
    bool ok = false;
    const double stored =
        settingsStore::value(settingsStore::kGroupWindow, QLatin1String(kShareKey), kDefaultShare)
            .toDouble(&ok);
    // A share outside the bounds (a hand-edited file) would hide the log or
    // the pages: it falls back to the default.
    m_share = ok && stored >= kMinShare && stored <= kMaxShare ? stored : kDefaultShare;
    window->installEventFilter(this);
}

int logDockSizer::sharedHeight() const {
    const QWidget* central = m_window->centralWidget();
    return m_dock->height() + (central != nullptr ? central->height() : 0);
}

bool logDockSizer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window) return false;
    switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Show:
            scheduleApply();
            break;
        // The separator between the dock and the pages belongs to the window
        // itself: a press and release on the window that changed the dock's
        // height was the user dragging it.
        case QEvent::MouseButtonPress:
            m_heightAtPress = m_dock->height();
            break;
        case QEvent::MouseButtonRelease:
            if (m_heightAtPress >= 0 && m_dock->height() != m_heightAtPress && sharedHeight() > 0) {
                const double share = double(m_dock->height()) / sharedHeight();
                m_share = qBound(kMinShare, share, kMaxShare);
                settingsStore::setValue(settingsStore::kGroupWindow, QLatin1String(kShareKey),
                                        m_share);
            }
            m_heightAtPress = -1;
            break;
        default:
            break;
    }
    return false;
}

void logDockSizer::scheduleApply() {
    // A resize is filtered before the window lays itself out: the heights are
    // taken once it has.
    if (m_applyPending) return;
    m_applyPending = true;
    QTimer::singleShot(0, this, [this]() {
        m_applyPending = false;
        apply();
    });
}

void logDockSizer::apply() {
    if (!m_window->isVisible() || m_dock->isHidden() || m_heightAtPress >= 0) return;
    const int wanted = int(std::lround(m_share * sharedHeight()));
    if (std::abs(wanted - m_dock->height()) > 1)
        m_window->resizeDocks({m_dock}, {wanted}, Qt::Vertical);
}
