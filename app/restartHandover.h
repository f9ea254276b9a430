// The language restart's hand-over: what a program about to restart passes to
// its successor (connected or not, the tab in front, whether the Config tab
// is open, the log's last lines),
// and how the successor takes it up.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAction;
class QPlainTextEdit;
class QTabWidget;
class QWidget;

class restartHandover : public QObject {
    Q_OBJECT
public:
    // tabs: the window's tab pages; log: the message page's text; showConfig:
    // the action that shows configPage as a tab (it exists only while connected).
    restartHandover(QTabWidget* tabs, QPlainTextEdit* log, QAction* showConfig, QWidget* configPage,
                    QObject* parent);

    // The arguments that bring the successor back as the window is now.
    QStringList restartArguments(bool connected) const;
    // Takes up what a predecessor's restartArguments() gave: the log lines
    // now, the tab once connected. Nothing without "--restarted". Returns
    // whether the successor connects as the predecessor was.
    bool resumeAfterRestart(const QStringList& arguments);

public slots:
    // Once connected: brings back the Config tab when it was open and the tab
    // that was in front, once.
    void slotOnConnected();

private:
    QTabWidget* m_tabs;
    QPlainTextEdit* m_log;
    QAction* m_showConfig;
    QWidget* m_configPage;
    QString m_resumeTab;          // the tab to bring back once connected
    bool m_resumeConfig = false;  // the Config tab was open, in front or not
};
