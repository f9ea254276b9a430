// The history's costs: a month of samples and events in a file, then
//  - the chart's query of 1 h, 24 h and 30 d, decimated to 1000 columns, and
//    the whole drawing of 30 days (query and paint into an image),
//  - insert batches (1, 10 and 150 samples with an event) into that file,
//  - the polling worker's CPU per poll against upssim at a 20 ms cycle, with
//    the history off and on in the same run (and the whole process's).
//
//   history_bench [seconds per polling case]   (QT_QPA_PLATFORM=offscreen works)
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "comSettings.h"
#include "historyChart.h"
#include "historyRecorder.h"
#include "historyStore.h"
#include "monitorThread.h"
#include "sim_process.h"
#include "statusMonitorWidget.h"

namespace {

const qint64 kDayMs = 24 * 3600 * 1000LL;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A month as the dead band stores it: a row every 10 s while steady, a row
// per charge step during the daily hour on battery, and the events of it.
void fill(QSqlDatabase& db, qint64 now, int* samples, int* events) {
    QVector<history::sample> batch;
    QVector<history::event> marks;
    *samples = 0;
    *events = 0;
    const qint64 start = now - 30 * kDayMs;
    for (qint64 t = start; t < now; t += 10000) {
        const qint64 ofDay = (t - start) % kDayMs;
        const bool onBattery = ofDay < 3600 * 1000;
        history::sample s{t, 100, 24000 + int(t / 10000 % 7) * 20, 24000, 1, 1, 0b0101, 0};
        if (onBattery) {
            s = {t, 100 - int(ofDay / 60000), 0, 23000, 2, 2, 0b0110, 0};
            if (ofDay == 0) marks.append({t, history::DcLost, QStringLiteral("DC is broken.")});
        } else if (ofDay < 3 * 3600 * 1000) {
            s.charge = 40 + int((ofDay - 3600 * 1000) / 180000);
            s.battery = 0;
            if (ofDay == 3600 * 1000)
                marks.append({t, history::DcBack, QStringLiteral("DC is connected.")});
        }
        batch.append(s);
        if (batch.size() == 5000) {
            history::insert(db, batch, marks, nullptr);
            *samples += batch.size();
            *events += marks.size();
            batch.clear();
            marks.clear();
        }
    }
    history::insert(db, batch, marks, nullptr);
    *samples += batch.size();
    *events += marks.size();
}

// CPU time of the thread named so (Qt names threads after their objectName),
// in ms, from the scheduler's nanosecond count.
double threadCpuMs(const char* name) {
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + "/comm"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name) continue;
        QFile schedstat(tasks.filePath(tid + "/schedstat"));
        if (!schedstat.open(QIODevice::ReadOnly)) continue;
        return schedstat.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return -1;
}

double processCpuMs() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void pollingCase(const QString& dir, bool historyOn, int seconds) {
    statusMonitorWidget page;
    historyStore store(dir + (historyOn ? "/polled-on.sqlite" : "/polled-off.sqlite"));
    if (historyOn) {
        history::recordFrom(&page, &store);
        store.open();
    }
    int blocks = 0;
    QObject::connect(&page, &statusMonitorWidget::signalStatusBlock, [&blocks]() { ++blocks; });
    comSettings settings;
    settings.comPort = QStringLiteral("COM201");
    settings.portNumber = 201;
    settings.slaveId = 1;
    settings.responseTimeout = 300;
    settings.pollDelay = 20;
    page.slotOnConnect(settings);
    QElapsedTimer waited;
    waited.start();
    while (page.linkState() != monitorThread::Connected && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double worker0 = threadCpuMs("m_monitorThread");
    const double process0 = processCpuMs();
    const int blocks0 = blocks;
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double worker = threadCpuMs("m_monitorThread") - worker0;
    const double process = processCpuMs() - process0;
    const int polls = qMax(1, blocks - blocks0);
    printf("polling, history %-3s  %5d polls  worker %.4f ms/poll  process %.3f ms/poll\n",
           historyOn ? "on" : "off", polls, worker / polls, process / polls);
    page.slotOnDisconnect();
    page.shutdown();
    store.stop();
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("QXUPS_APPDIR", (home.path() + "/app").toLocal8Bit());
    QDir().mkpath(home.path() + "/app");
    QApplication app(argc, argv);

    const QString path = home.path() + "/history.sqlite";
    const qint64 now = historyStore::nowMs();
    {
        historyStore store(path);
        store.open();
        store.flush();
        store.stop();
    }
    if (!history::open(QStringLiteral("bench"), path, false, nullptr)) {
        fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("bench"));
        int samples = 0, events = 0;
        QElapsedTimer took;
        took.start();
        fill(db, now, &samples, &events);
        printf("filled 30 days: %d samples, %d events in %lld ms, file %.1f MB\n", samples, events,
               took.elapsed(), QFile(path).size() / 1e6);

        for (qint64 span : {3600 * 1000LL, kDayMs, 30 * kDayMs}) {
            std::vector<double> times;
            int buckets = 0;
            for (int i = 0; i < 7; ++i) {
                took.restart();
                buckets = history::chart(db, now - span, now, 1000).size();
                history::events(db, now - span, now, -1, 2000);
                times.push_back(took.nsecsElapsed() / 1e6);
            }
            printf("chart query %5.0f h: %4d buckets, median %.1f ms, max %.1f ms\n",
                   span / 3600000.0, buckets, median(times),
                   *std::max_element(times.begin(), times.end()));
        }

        historyChart chart;
        chart.resize(1100, 420);
        QImage image(chart.size(), QImage::Format_ARGB32_Premultiplied);
        std::vector<double> draws;
        for (int i = 0; i < 7; ++i) {
            took.restart();
            chart.setData(now - 30 * kDayMs, now,
                          history::chart(db, now - 30 * kDayMs, now, chart.plotWidth()),
                          history::events(db, now - 30 * kDayMs, now, -1, 2000));
            chart.render(&image);
            draws.push_back(took.nsecsElapsed() / 1e6);
        }
        printf("drawing 30 days (query + paint, %d px): median %.1f ms, max %.1f ms\n",
               chart.plotWidth(), median(draws), *std::max_element(draws.begin(), draws.end()));

        for (int rows : {1, 10, 150}) {
            std::vector<double> times;
            for (int i = 0; i < 30; ++i) {
                QVector<history::sample> batch;
                for (int k = 0; k < rows; ++k)
                    batch.append({now + i * 1000 + k, 50, 24000, 24000, 1, 0, 5, 0});
                took.restart();
                history::insert(db, batch,
                                {{now + i * 1000, history::SwOn, QStringLiteral("SW ON.")}},
                                nullptr);
                times.push_back(took.nsecsElapsed() / 1e6);
            }
            printf("insert batch of %3d samples + 1 event: median %.2f ms, max %.2f ms\n", rows,
                   median(times), *std::max_element(times.begin(), times.end()));
        }
    }
    history::close(QStringLiteral("bench"));

    const std::string link = (home.path() + "/line").toStdString();
    setenv("QXUPS_COM201", link.c_str(), 1);
    simtest::SimProcess sim({"--pty", link, "--quit-on-eof", "--device-type", "302"});
    if (!sim.started() || sim.waitReady().empty()) {
        fprintf(stderr, "upssim did not start\n");
        return 1;
    }
    // The charge moves, so that the history on stores rows as it would on battery.
    sim.command("scenario charge -2");
    for (bool on : {false, true, false, true})
        pollingCase(home.path(), on, seconds);
    sim.terminate();
    return 0;
}
