// The history tests' helpers: times, a steady sample, queries on the file, log lines.
#pragma once

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QtTest>

#include "app_test_sim.h"
#include "historyStore.h"

namespace historytest {

const qint64 kMinuteMs = 60 * 1000;
const qint64 kDayMs = 24 * 60 * kMinuteMs;

inline history::sample steady(qint64 timeMs) {
    return {timeMs, 80, 24000, 24000, 1, 0, 0b0101, 0};
}

// Runs a query on a fresh connection of its own; the first column of each row.
inline QStringList column(const QString& path, const QString& statement) {
    QStringList values;
    const QString name = QStringLiteral("history-test-check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement))
                while (query.next())
                    values << query.value(0).toString();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

inline bool waitOpened(historyStore& store) {
    QElapsedTimer waited;
    waited.start();
    while (store.state() == historyStore::Opening && waited.elapsed() < 20000)
        QTest::qWait(10);
    return store.state() != historyStore::Opening;
}

inline QStringList historyLines(const apptest::ConsoleRecord& console) {
    QStringList lines;
    for (const QString& line : console.lines())
        if (line.startsWith(QLatin1String("History")) ||
            line.startsWith(QLatin1String("The history")))
            lines << line;
    return lines;
}

}  // namespace historytest
