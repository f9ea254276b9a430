// The History tab for a look by eye; a tool, not a test. It writes a
// compressed hour of scenarios (charging, a DC loss with the script run, the
// discharge to the warning level, the DC back, two outages of 15 and 30 s, a
// register write, the SW output on and off, a short disconnect) as past
// samples and events into
// $QXUPS_APPDIR/history.sqlite, then shows the program's window with the
// History tab in front at the size given, for the seconds given:
//   QXUPS_APPDIR=/tmp/grab build/bin/history_grab 1100x700 20 [HOURS] & import -window root x.png
#include <stdio.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QTabWidget>
#include <QTimer>

#include "historyDb.h"
#include "historyStore.h"
#include "historyWidget.h"
#include "mainWindow.h"

namespace {

void fillHour(const QString& path, qint64 now) {
    QVector<history::sample> samples;
    QVector<history::event> events;
    const qint64 start = now - 3600 * 1000;
    const auto at = [start](double minutes) { return start + qint64(minutes * 60000); };
    const auto event = [&](double minutes, int kind, const char* text) {
        events.append({at(minutes), kind, QString::fromUtf8(text)});
    };
    event(0, history::Connected, "Connected.");
    event(15, history::DcLost, "DC is broken.");
    event(15.01, history::ScriptStarted, "Post-process script started: /home/user/ups-lost.sh");
    event(15.05, history::ScriptEnded, "Post-process script ended with exit status 0.");
    event(33.9, history::LowBattery, "Battery low: 20 % (warning level 20 %).");
    event(35, history::DcBack, "DC is connected.");
    event(40, history::DcLost, "DC is broken.");
    event(40.25, history::DcBack, "DC is connected.");
    event(42, history::DcLost, "DC is broken.");
    event(42.5, history::DcBack, "DC is connected.");
    event(45, history::WriteRegister, "40035 = 2: done");
    event(50, history::SwOn, "SW ON.");
    event(52, history::SwOff, "SW OFF.");
    event(55, history::Disconnected, "Disconnected.");
    event(56.5, history::Connected, "Connected.");
    for (qint64 t = start; t < now; t += 10000) {
        const double m = (t - start) / 60000.0;
        if (m >= 55 && m < 56.5) continue;  // not connected
        history::sample s{t, 0, 24000 + int(t / 10000 % 5) * 30, 24010, 1, 0, 0b0101, 0};
        const bool shortOutage = (m >= 40 && m < 40.25) || (m >= 42 && m < 42.5);
        if (m < 15) {
            s.charge = qMin(100, 78 + int(m * 1.6));
        } else if (m < 35 || shortOutage) {
            s.charge = shortOutage ? 20 + int((m - 35) * 2.2) : qMax(15, 100 - int((m - 15) * 4));
            s.inputMv = 0;
            s.outputMv = shortOutage ? 23300 : 23400 - int((m - 15) * 60);
            s.source = 2;
            s.battery = 2;
            s.doBits = 0b0110;
        } else {
            s.charge = qMin(100, 20 + int((m - 35) * 2.2));
        }
        s.battery = s.source == 2 ? 2 : (s.charge >= 100 ? 1 : 0);
        if (m >= 50 && m < 52) s.doBits |= 0b1000;
        samples.append(s);
    }
    if (!history::open(QStringLiteral("grab"), path, false, nullptr)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("grab"));
        history::insert(db, samples, events, nullptr);
    }
    history::close(QStringLiteral("grab"));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QXUPS_APPDIR")) {
        fprintf(stderr, "set QXUPS_APPDIR to a folder holding a copy of the data\n");
        return 64;
    }
    QApplication app(argc, argv);
    const QStringList size = QString::fromLatin1(argc > 1 ? argv[1] : "1100x700").split('x');
    const int seconds = argc > 2 ? atoi(argv[2]) : 20;
    QFile::remove(historyStore::defaultPath());
    fillHour(historyStore::defaultPath(), historyStore::nowMs());
    mainWindow window;
    window.resize(size.value(0).toInt(), size.value(1).toInt());
    window.show();
    window.findChild<QTabWidget*>(QStringLiteral("m_tabWidget"))->setCurrentIndex(1);
    if (argc > 3) window.findChild<historyWidget*>()->setSpanMs(atoi(argv[3]) * 3600 * 1000LL);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    const int result = app.exec();
    window.stopDeviceWork();
    return result;
}
