// Longest stall of the program's GUI thread with the Config tab in front:
// against upssim paced at 9600 baud (a healthy but slow module) and against a
// silent one (a 3 s response time-out). A 10 ms timer on the GUI thread
// records the longest gap between its ticks.
//
//   gui_stall_bench [seconds per case]   (QT_QPA_PLATFORM=offscreen works)
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <stdio.h>
#include <stdlib.h>

#include "mainWindow.h"
#include "sim_process.h"

namespace {

qint64 longestGap(int seconds) {
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout,
                     [&]() { longest = qMax(longest, sinceTick.restart()); });
    sinceTick.start();
    tick.start();
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return longest;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("QXUPS_APPDIR", (home.path() + "/app").toLocal8Bit());
    const std::string link = (home.path() + "/line").toStdString();
    setenv("QXUPS_COM201", link.c_str(), 1);
    QDir().mkpath(home.path() + "/app/configs");
    QFile settings(home.path() + "/app/configs/config_com.xml");
    settings.open(QIODevice::WriteOnly);
    settings.write("<Settings><Setting><ComPort>COM201</ComPort><BaudRate>9600</BaudRate>"
                   "<ResponseTimeout>3000</ResponseTimeout><NumOfRetries>0</NumOfRetries>"
                   "<PollDelay>20</PollDelay></Setting></Settings>");
    settings.close();

    simtest::SimProcess sim({"--pty", link, "--quit-on-eof", "--pace", "--baud",
                             "9600", "--device-type", "301"});
    if (!sim.started() || sim.waitReady().empty()) {
        fprintf(stderr, "upssim did not start\n");
        return 1;
    }

    QApplication app(argc, argv);
    int result = 0;
    {
        mainWindow window;
        window.show();
        window.findChild<QAction*>("m_connectAction")->trigger();
        QElapsedTimer wait;
        wait.start();
        while (!window.isConnected() && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (!window.isConnected()) {
            fprintf(stderr, "no connection\n");
            return 1;
        }
        window.findChild<QAction*>("m_configAction")->trigger();
        window.findChild<QTabWidget*>("m_tabWidget")->setCurrentIndex(1);

        longestGap(2);  // the tab's first layout is not the line's doing
        printf("healthy module at 9600 baud: longest GUI stall %lld ms over %d s\n",
               static_cast<long long>(longestGap(seconds)), seconds);
        sim.command("fault silent");
        longestGap(1);
        printf("silent module, 3 s time-out: longest GUI stall %lld ms over %d s\n",
               static_cast<long long>(longestGap(seconds)), seconds);
        QElapsedTimer disconnecting;
        disconnecting.start();
        window.findChild<QAction*>("m_disconnectAction")->trigger();
        printf("Disconnect returned after %lld ms\n",
               static_cast<long long>(disconnecting.elapsed()));
        window.stopDeviceWork();
    }
    sim.terminate();
    return result;
}
