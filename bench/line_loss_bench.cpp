// The program with its line pulled and restored for a long run: the window
// connects by Auto Connect to upssim on a pty; every few minutes the
// simulator is killed (the adapter unplugged) and, after a pause of 25 s or
// 75 s, a new one is started on the same link with another charge. Counts the
// losses the program saw, the recoveries it made by itself (with the new
// charge on the gauge), the log lines per loss and the resident memory.
//
//   line_loss_bench [minutes, default 30]   (QT_QPA_PLATFORM=offscreen works)
//
// Not a test: it runs for half an hour and prints figures.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <stdio.h>
#include <stdlib.h>

#include "batteryWidget.h"
#include "consolePrint.h"
#include "mainWindow.h"
#include "monitorThread.h"
#include "sim_process.h"

namespace {

long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').at(0).toLong();
    return -1;
}

// Runs the event loop until the condition holds or the time is up.
template <typename Condition>
bool runUntil(Condition condition, qint64 ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void runFor(qint64 ms) {
    runUntil([] { return false; }, ms);
}

}  // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? atoi(argv[1]) : 30;
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("QXUPS_APPDIR", (home.path() + "/app").toLocal8Bit());
    const std::string link = (home.path() + "/line").toStdString();
    setenv("QXUPS_COM201", link.c_str(), 1);
    QDir().mkpath(home.path() + "/app/configs");
    QFile settings(home.path() + "/app/configs/config_com.xml");
    settings.open(QIODevice::WriteOnly);
    settings.write(
        "<Settings><Setting><ComPort>COM201</ComPort><ResponseTimeout>500"
        "</ResponseTimeout><NumOfRetries>1</NumOfRetries><PollDelay>200</PollDelay>"
        "<AutoConnect>1</AutoConnect></Setting></Settings>");
    settings.close();
    const std::vector<std::string> simArgs = {"--pty", link, "--quit-on-eof", "--device-type",
                                              "301"};

    QApplication app(argc, argv);
    int logLines = 0;
    QObject::connect(&consolePrint::instance(), &consolePrint::signalShowMsg,
                     [&logLines](const QString&) { ++logLines; });
    std::unique_ptr<simtest::SimProcess> sim(new simtest::SimProcess(simArgs));
    if (!sim->started() || sim->waitReady().empty()) {
        fprintf(stderr, "upssim did not start\n");
        return 1;
    }
    mainWindow window;
    window.setTrayAvailable(false);
    window.show();
    if (!runUntil([&] { return window.isConnected(); }, 20000)) {
        fprintf(stderr, "no connection by Auto Connect\n");
        return 1;
    }
    batteryWidget* gauge = window.findChild<batteryWidget*>();
    runFor(5000);
    const long rssStart = residentKb();
    const int linesStart = logLines;
    QElapsedTimer total;
    total.start();
    int pulls = 0;
    int lossesSeen = 0;
    int recoveries = 0;
    int maxLinesPerCycle = 0;
    long rssMax = rssStart;
    const qint64 upMs = 150000;
    while (total.elapsed() < qint64(minutes) * 60000) {
        runFor(upMs);
        const int before = logLines;
        const int notesBefore = window.trayMessages().size();
        ++pulls;
        sim.reset();  // SIGKILL: the pty goes away with it
        const bool lost =
            runUntil([&] { return window.trayMessages().size() > notesBefore; }, 60000);
        if (lost && window.trayMessages().last().contains(QLatin1String("lost"))) ++lossesSeen;
        runFor(pulls % 2 == 0 ? 75000 : 25000);
        const int charge = 20 + pulls * 7 % 80;
        sim.reset(new simtest::SimProcess(simArgs));
        if (!sim->started() || sim->waitReady().empty()) {
            fprintf(stderr, "upssim did not start again\n");
            return 1;
        }
        sim->command("set 26 " + std::to_string(charge));
        // Back-off at most 30 s, plus the open and the first block.
        if (runUntil([&] { return window.isConnected() && gauge->value() == charge; }, 60000))
            ++recoveries;
        maxLinesPerCycle = qMax(maxLinesPerCycle, logLines - before);
        rssMax = qMax(rssMax, residentKb());
        printf("pull %d at %lld s: loss seen %s, recovered %s, %d log lines, RSS %ld kB\n", pulls,
               static_cast<long long>(total.elapsed() / 1000), lost ? "yes" : "no",
               window.isConnected() ? "yes" : "no", logLines - before, residentKb());
        fflush(stdout);
    }
    printf("\n%d minutes, %d pulls: %d losses seen, %d recoveries by itself\n", minutes, pulls,
           lossesSeen, recoveries);
    printf("log lines: %d in all, at most %d per pull\n", logLines - linesStart, maxLinesPerCycle);
    printf("RSS: %ld kB after connecting, %ld kB at most, %ld kB at the end\n", rssStart, rssMax,
           residentKb());
    window.stopDeviceWork();
    return lossesSeen == pulls && recoveries == pulls ? 0 : 1;
}
