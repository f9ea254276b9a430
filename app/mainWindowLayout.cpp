// The main window's opening size on the screen there is, and the Comm dock's width.
#include <QDockWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "comSettingsWidget.h"
#include "logDockSizer.h"
#include "mainWindow.h"
#include "statusBarPresenter.h"

void mainWindow::fitToContents() {
    // The window opens large enough to show the pages, the docks and the
    // status bar whole, but never larger than the screen: below that the
    // pages scroll. Their needs are measured as the window's minimum while the
    // scroll areas are held at their pages' sizes. The status bar is measured
    // with its first texts; the state and the clock grow once the first tick
    // fills them in.
    const int commLeast = m_commScroll->minimumWidth();
    const int commWanted = m_comSettingsWidget->sizeHint().width() +
                           m_commScroll->verticalScrollBar()->sizeHint().width();
    // The pages' vertical scroll bar, shown in a low window, is counted in
    // their width, so that a window as wide as they need never scrolls sideways.
    m_pagesScroll->setMinimumSize(m_tabWidget->minimumSizeHint() +
                                  QSize(m_pagesScroll->verticalScrollBar()->sizeHint().width(), 0));
    m_commScroll->setMinimumSize(commWanted, m_comSettingsWidget->minimumSizeHint().height());
    QSize opening = size().expandedTo(minimumSizeHint());
    m_pagesScroll->setMinimumSize(0, 0);
    m_commScroll->setMinimumSize(commLeast, 0);
    // The log takes its share of the height beside the pages' need, beyond
    // the least height it was measured with.
    const int rowHeight = qMax(m_tabWidget->minimumSizeHint().height(),
                               m_comSettingsWidget->minimumSizeHint().height());
    const double share = m_logDockSizer->share();
    const int logHeight = int(rowHeight * share / (1.0 - share));
    opening.rheight() += qMax(0, logHeight - m_informationDock->minimumSizeHint().height());
    const int growth = m_statusBarPresenter->growthAfterFirstTick();
    opening.setWidth(qMax(opening.width(), statusBar()->sizeHint().width() + growth + 16));
    // What the pages need at the least is cramped for the chart and the
    // register table: a window opens at a comfortable size where the screen
    // has room for it.
    opening = opening.expandedTo(QSize(1000, 700));
    m_commDockWidth = commWanted;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // Room for the window manager's frame and title.
        const QSize room = screen->availableSize() - QSize(16, 48);
        // Short of width, the Comm panel gives up what it has beyond its
        // minimum before the pages scroll.
        const int excess = opening.width() - room.width();
        if (excess > 0) m_commDockWidth = qMax(commLeast, commWanted - excess);
        opening = opening.boundedTo(room.expandedTo(minimumSizeHint()));
    }
    resize(opening);
    // A dock width given before the window is shown is lost when the window
    // lays itself out, so it is given again once the event loop runs.
    widenCommDock();
    QTimer::singleShot(0, this, &mainWindow::widenCommDock);
}

void mainWindow::widenCommDock() {
    resizeDocks({m_commDock}, {m_commDockWidth}, Qt::Horizontal);
}
