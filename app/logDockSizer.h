// Keeps the message log's dock at the share of the window's height the user
// last dragged it to, across window resizes and program runs.
#pragma once

#include <QObject>

class QDockWidget;
class QMainWindow;

class logDockSizer : public QObject {
    Q_OBJECT
public:
    // The dock must be in the window's bottom area; the share is read from
    // the settings store.
    logDockSizer(QMainWindow* window, QDockWidget* dock);

    // The dock's height over the dock's and the central page's together.
    double share() const { return m_share; }
    // The share a first run starts with, and the bounds a stored one is kept in.
    static constexpr double kDefaultShare = 0.3;
    static constexpr double kMinShare = 0.1;
    static constexpr double kMaxShare = 0.8;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Gives the dock its share of the height there is, once the window's
    // layout has settled after a resize.
    void scheduleApply();
    void apply();
    int sharedHeight() const;

    QMainWindow* m_window;
    QDockWidget* m_dock;
    double m_share = kDefaultShare;
    bool m_applyPending = false;
    int m_heightAtPress = -1;  // the dock's height when a drag may have begun
};
