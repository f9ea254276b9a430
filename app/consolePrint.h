// The program-wide message broadcaster: any part of the program, on any thread,
// hands it a message or a version text; it only emits signals, which the main
// window routes to the message page and the status bar.
#pragma once

#include <QObject>
#include <QString>

class consolePrint : public QObject {
    Q_OBJECT
public:
    // The one instance; it lives until the process ends.
    static consolePrint& instance();

    void printMsg(const QString& msg);
    void printHwVer(const QString& msg);
    void printFwVer(const QString& msg);
    void printDrvVer(const QString& msg);

signals:
    void signalShowMsg(QString msg);
    void signalShowHwVer(QString msg);
    void signalShowFwVer(QString msg);
    void signalShowDrvVer(QString msg);

private:
    consolePrint() = default;
};
