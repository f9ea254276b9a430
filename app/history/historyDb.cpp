// The history database: the schema and its steps, and the statements on it.
#include "historyDb.h"

#include <QDateTime>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <vector>

#include "runtimeEstimate.h"

namespace history {

const char* const kLearnedDischargeRate = "discharge_rate";

namespace {

const char* const kCodes[kEventKinds] = {
    "dc-lost",        "dc-back",       "sw-on",          "sw-off",
    "line-lost",      "line-restored", "low-battery",    "critical-battery",
    "script-started", "script-ended",  "write-register", "connected",
    "disconnected",
};

// SQLite's primary result codes: another connection holding the file (a
// passing condition), and a damaged file.
const int kSqliteBusy = 5;
const int kSqliteLocked = 6;
const int kSqliteCorrupt = 11;
const int kSqliteNotADatabase = 26;

// The driver's text with SQLite's code: a commit on a full disk may come
// with no text at all, and the code still says why (13: full).
QString reason(const QSqlError& error) {
    const QString text = error.text().trimmed();
    const QString code = error.nativeErrorCode();
    if (code.isEmpty()) return text.isEmpty() ? QStringLiteral("unknown SQLite error") : text;
    const QString coded = QStringLiteral("SQLite error %1").arg(code);
    return text.isEmpty() ? coded : text + QStringLiteral(" (") + coded + QStringLiteral(")");
}

bool isBusy(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == kSqliteBusy || code == kSqliteLocked;
}

bool isDamage(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == kSqliteCorrupt || code == kSqliteNotADatabase;
}

// The schema, one step per version: a database of version n runs the steps
// after n, so that a later program can change the tables without losing rows.
const char* const kStep1[] = {
    // The time is the row id: the table is kept in time order, so a range is
    // read without a separate index. Two samples in one millisecond keep the later.
    "CREATE TABLE samples (t INTEGER PRIMARY KEY, charge INTEGER NOT NULL, vin INTEGER, "
    "vout INTEGER, source INTEGER NOT NULL, battery INTEGER NOT NULL, do_bits INTEGER NOT NULL, "
    "di_bits INTEGER NOT NULL)",
    "CREATE TABLE events (id INTEGER PRIMARY KEY, t INTEGER NOT NULL, kind TEXT NOT NULL, "
    "text TEXT NOT NULL)",
    "CREATE INDEX events_t ON events (t)",
    // Per minute, the sums the long ranges are drawn from: a month is 43,200
    // rows to decimate instead of some 260,000 samples.
    "CREATE TABLE minutes (m INTEGER PRIMARY KEY, n INTEGER NOT NULL, charge_sum INTEGER NOT NULL, "
    "vin_n INTEGER NOT NULL, vin_sum INTEGER NOT NULL, vin_min INTEGER, vin_max INTEGER, "
    "vout_sum INTEGER NOT NULL, battery INTEGER NOT NULL)",
};

// What the program learns from the discharges, and the estimate kept with
// each sample.
const char* const kStep2[] = {
    "CREATE TABLE learned (name TEXT PRIMARY KEY, value REAL NOT NULL)",
    "ALTER TABLE samples ADD COLUMN runtime INTEGER",
};

// Bucket widths from this on are drawn from the minutes.
const qint64 kMinutesFromMs = 10 * 60 * 1000;

bool exec(QSqlQuery& query, const QString& statement, QString* error, bool* corrupt) {
    if (query.exec(statement)) return true;
    if (error) *error = reason(query.lastError());
    if (corrupt && isDamage(query.lastError())) *corrupt = true;
    return false;
}

bool migrate(QSqlDatabase& db, int from, QString* error) {
    QSqlQuery query(db);
    if (!db.transaction()) {
        if (error) *error = reason(db.lastError());
        return false;
    }
    bool ok = true;
    if (from < 1) {
        for (const char* statement : kStep1)
            ok = ok && exec(query, QLatin1String(statement), error, nullptr);
    }
    if (from < 2) {
        for (const char* statement : kStep2)
            ok = ok && exec(query, QLatin1String(statement), error, nullptr);
    }
    ok = ok && exec(query, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), error,
                    nullptr);
    if (ok) return db.commit();
    db.rollback();
    return false;
}

}  // namespace

const char* kindCode(int kind) {
    return kind >= 0 && kind < kEventKinds ? kCodes[kind] : "unknown";
}

int kindFromCode(const QString& code) {
    for (int kind = 0; kind < kEventKinds; ++kind)
        if (code == QLatin1String(kCodes[kind])) return kind;
    return -1;
}

bool open(const QString& connection, const QString& path, bool readOnly, QString* error,
          bool* corrupt) {
    if (corrupt) *corrupt = false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(readOnly
                                 ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000;QSQLITE_OPEN_READONLY")
                                 : QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        if (!db.open()) {
            if (error) *error = reason(db.lastError());
        } else {
            QSqlQuery query(db);
            ok = exec(query, QStringLiteral("PRAGMA user_version"), error, corrupt) && query.next();
            const int version = ok ? query.value(0).toInt() : 0;
            if (ok && !readOnly) {
                // A crash loses at most the transaction under way: WAL with
                // NORMAL sync survives the program's death, not only a clean exit.
                ok = exec(query, QStringLiteral("PRAGMA journal_mode = WAL"), error, corrupt) &&
                     exec(query, QStringLiteral("PRAGMA synchronous = NORMAL"), error, corrupt) &&
                     exec(query, QStringLiteral("PRAGMA quick_check"), error, corrupt) &&
                     query.next();
                if (ok && query.value(0).toString() != QLatin1String("ok")) {
                    ok = false;
                    if (corrupt) *corrupt = true;
                    if (error) *error = query.value(0).toString();
                }
                if (ok && version > kSchemaVersion) {
                    ok = false;
                    if (error)
                        *error = QStringLiteral("schema version %1 is newer than this program's %2")
                                     .arg(version)
                                     .arg(kSchemaVersion);
                }
                if (ok && version < kSchemaVersion) ok = migrate(db, version, error);
            } else if (ok && version == 0) {
                // Nothing stored yet (or not a history file): nothing to read.
                ok = false;
                if (error) *error = QStringLiteral("no history tables");
            }
        }
    }
    if (!ok) QSqlDatabase::removeDatabase(connection);
    return ok;
}

void close(const QString& connection) {
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

bool insert(QSqlDatabase& db, const QVector<sample>& samples, const QVector<event>& events,
            QString* error, bool* busy) {
    QSqlError failure;
    const auto done = [&](bool written) {
        if (!written) {
            if (error) *error = reason(failure);
            if (busy) *busy = isBusy(failure);
        }
        return written;
    };
    if (!db.transaction()) {
        failure = db.lastError();
        return done(false);
    }
    bool ok = true;
    if (!samples.isEmpty()) {
        QSqlQuery query(db);
        ok = query.prepare(
            QStringLiteral("INSERT OR REPLACE INTO samples VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int i = 0; ok && i < samples.size(); ++i) {
            const sample& s = samples.at(i);
            query.bindValue(0, s.timeMs);
            query.bindValue(1, s.charge);
            query.bindValue(2, s.inputMv < 0 ? QVariant(QVariant::Int) : QVariant(s.inputMv));
            query.bindValue(3, s.outputMv < 0 ? QVariant(QVariant::Int) : QVariant(s.outputMv));
            query.bindValue(4, s.source);
            query.bindValue(5, s.battery);
            query.bindValue(6, s.doBits);
            query.bindValue(7, s.diBits);
            query.bindValue(8, s.runtime < 0 ? QVariant(QVariant::Int) : QVariant(s.runtime));
            ok = query.exec();
        }
        if (!ok) failure = query.lastError();
    }
    if (ok && !samples.isEmpty()) {
        QSqlQuery query(db);
        ok = query.prepare(QStringLiteral(
            "INSERT INTO minutes VALUES (?, 1, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (m) DO UPDATE SET "
            "n = n + 1, charge_sum = charge_sum + excluded.charge_sum, "
            "vin_n = vin_n + excluded.vin_n, vin_sum = vin_sum + excluded.vin_sum, "
            "vin_min = min(coalesce(vin_min, excluded.vin_min), coalesce(excluded.vin_min, "
            "vin_min)), "
            "vin_max = max(coalesce(vin_max, excluded.vin_max), coalesce(excluded.vin_max, "
            "vin_max)), "
            "vout_sum = vout_sum + excluded.vout_sum, battery = max(battery, excluded.battery)"));
        for (int i = 0; ok && i < samples.size(); ++i) {
            const sample& s = samples.at(i);
            const bool volts = s.inputMv >= 0;
            query.bindValue(0, s.timeMs / 60000);
            query.bindValue(1, s.charge);
            query.bindValue(2, volts ? 1 : 0);
            query.bindValue(3, volts ? s.inputMv : 0);
            query.bindValue(4, volts ? QVariant(s.inputMv) : QVariant(QVariant::Int));
            query.bindValue(5, volts ? QVariant(s.inputMv) : QVariant(QVariant::Int));
            query.bindValue(6, volts ? s.outputMv : 0);
            query.bindValue(7, s.source == 2 ? 1 : 0);
            ok = query.exec();
        }
        if (!ok) failure = query.lastError();
    }
    if (ok && !events.isEmpty()) {
        QSqlQuery query(db);
        ok = query.prepare(QStringLiteral("INSERT INTO events (t, kind, text) VALUES (?, ?, ?)"));
        for (int i = 0; ok && i < events.size(); ++i) {
            query.bindValue(0, events.at(i).timeMs);
            query.bindValue(1, QLatin1String(kindCode(events.at(i).kind)));
            query.bindValue(2, events.at(i).text);
            ok = query.exec();
        }
        if (!ok) failure = query.lastError();
    }
    if (ok && db.commit()) return done(true);
    if (ok) failure = db.lastError();
    db.rollback();
    return done(false);
}

bool learned(QSqlDatabase& db, const char* name, double* value) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT value FROM learned WHERE name = ?"));
    query.bindValue(0, QLatin1String(name));
    if (!query.exec() || !query.next()) return false;
    *value = query.value(0).toDouble();
    return true;
}

bool storeLearned(QSqlDatabase& db, const char* name, double value) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO learned VALUES (?, ?)"));
    query.bindValue(0, QLatin1String(name));
    query.bindValue(1, value);
    return query.exec();
}

double rateFromPastDischarges(QSqlDatabase& db, int discharges) {
    // Newest first: a discharge is a run of samples on battery, ended by one
    // on the DC input or by a gap in the samples (the program not watching).
    const qint64 kGapMs = 5 * 60 * 1000;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT t, charge, source FROM samples ORDER BY t DESC")))
        return 0;
    std::vector<double> rates;  // newest first
    std::vector<int64_t> times;
    std::vector<int> charges;
    const auto endRun = [&]() {
        if (times.size() >= 2) {
            std::reverse(times.begin(), times.end());
            std::reverse(charges.begin(), charges.end());
            const double rate =
                qxwatch::rateFromSamples(times.data(), charges.data(), int(times.size()));
            if (rate > 0) rates.push_back(rate);
        }
        times.clear();
        charges.clear();
    };
    while (query.next() && int(rates.size()) < discharges) {
        const qint64 t = query.value(0).toLongLong();
        const bool onBattery = query.value(2).toInt() == 2;
        if (!times.empty() && (!onBattery || times.back() - t > kGapMs)) endRun();
        if (onBattery) {
            times.push_back(t);
            charges.push_back(query.value(1).toInt());
        }
    }
    if (int(rates.size()) < discharges) endRun();
    double rate = 0;
    for (auto it = rates.rbegin(); it != rates.rend(); ++it)
        rate = rate == 0 ? *it : qxwatch::foldLearnedRate(rate, *it);
    return rate;
}

int purgeBefore(QSqlDatabase& db, qint64 timeMs) {
    int gone = 0;
    for (const char* table : {"samples", "events", "minutes"}) {
        const bool minutes = table[0] == 'm';
        QSqlQuery query(db);
        query.prepare(
            QStringLiteral("DELETE FROM %1 WHERE %2 < ?")
                .arg(QLatin1String(table), minutes ? QStringLiteral("m") : QStringLiteral("t")));
        query.bindValue(0, minutes ? timeMs / 60000 : timeMs);
        if (!query.exec()) return -1;
        gone += query.numRowsAffected();
    }
    return gone;
}

QVector<bucket> chart(QSqlDatabase& db, qint64 fromMs, qint64 toMs, int columns) {
    QVector<bucket> buckets;
    if (columns < 1 || toMs <= fromMs) return buckets;
    const qint64 width = qMax<qint64>(1, (toMs - fromMs + columns - 1) / columns);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (width >= kMinutesFromMs) {
        query.prepare(QStringLiteral(
            "SELECT MIN(m) * 60000, 1.0 * SUM(charge_sum) / SUM(n), 1.0 * SUM(vin_sum) / "
            "NULLIF(SUM(vin_n), 0), 1.0 * SUM(vout_sum) / NULLIF(SUM(vin_n), 0), MIN(vin_min), "
            "MAX(vin_max), MAX(battery) FROM minutes WHERE m >= ? AND m < ? "
            "GROUP BY (m * 60000 - ?) / ? ORDER BY 1"));
        query.bindValue(0, fromMs / 60000);
        query.bindValue(1, (toMs + 59999) / 60000);
    } else {
        query.prepare(QStringLiteral(
            "SELECT MIN(t), AVG(charge), AVG(vin), AVG(vout), MIN(vin), MAX(vin), MAX(source = 2) "
            "FROM samples WHERE t >= ? AND t < ? GROUP BY (t - ?) / ? ORDER BY 1"));
        query.bindValue(0, fromMs);
        query.bindValue(1, toMs);
    }
    query.bindValue(2, fromMs);
    query.bindValue(3, width);
    if (!query.exec()) return buckets;
    while (query.next()) {
        bucket b;
        b.timeMs = query.value(0).toLongLong();
        b.charge = query.value(1).toDouble();
        b.inputMv = query.isNull(2) ? -1 : query.value(2).toDouble();
        b.outputMv = query.isNull(3) ? -1 : query.value(3).toDouble();
        b.inputMin = query.isNull(4) ? -1 : query.value(4).toInt();
        b.inputMax = query.isNull(5) ? -1 : query.value(5).toInt();
        b.onBattery = query.value(6).toInt() != 0;
        buckets.append(b);
    }
    return buckets;
}

qint64 firstSampleMs(QSqlDatabase& db) {
    // The time is the row id: the first row, not a scan.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT MIN(t) FROM samples")) || !query.next() ||
        query.isNull(0))
        return -1;
    return query.value(0).toLongLong();
}

QVector<event> events(QSqlDatabase& db, qint64 fromMs, qint64 toMs, int kind, int limit) {
    QVector<event> rows;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT t, kind, text FROM events WHERE t >= ? AND t < ?") +
                  (kind >= 0 ? QStringLiteral(" AND kind = ?") : QString()) +
                  QStringLiteral(" ORDER BY t DESC, id DESC LIMIT ?"));
    int at = 0;
    query.bindValue(at++, fromMs);
    query.bindValue(at++, toMs);
    if (kind >= 0) query.bindValue(at++, QLatin1String(kindCode(kind)));
    query.bindValue(at++, limit);
    if (!query.exec()) return rows;
    while (query.next())
        rows.append({query.value(0).toLongLong(), kindFromCode(query.value(1).toString()),
                     query.value(2).toString()});
    return rows;
}

QString isoTime(qint64 timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

const char* const kSources[] = {"unknown", "dc", "battery"};
const char* const kBatteryStates[] = {"charging", "full", "discharging"};

QString name(const char* const* names, int count, int value) {
    return value >= 0 && value < count ? QLatin1String(names[value]) : QString::number(value);
}

bool writeRows(QSqlDatabase& db, const QString& statement, qint64 fromMs, qint64 toMs,
               const QString& fileName, const QByteArray& header, QString (*row)(const QSqlQuery&),
               QString* error) {
    QSaveFile file(fileName);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(statement);
    query.bindValue(0, fromMs);
    query.bindValue(1, toMs);
    if (!query.exec()) {
        if (error) *error = query.lastError().text();
        return false;
    }
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = fileName + QStringLiteral(": ") + file.errorString();
        return false;
    }
    file.write(header);
    while (query.next())
        file.write(row(query).toUtf8() + "\r\n");
    if (file.commit()) return true;
    if (error) *error = fileName + QStringLiteral(": ") + file.errorString();
    return false;
}

QString sampleRow(const QSqlQuery& q) {
    const auto optional = [&q](int column) {
        return q.isNull(column) ? QString() : q.value(column).toString();
    };
    return isoTime(q.value(0).toLongLong()) + QLatin1Char(',') + q.value(1).toString() +
           QLatin1Char(',') + optional(2) + QLatin1Char(',') + optional(3) + QLatin1Char(',') +
           name(kSources, 3, q.value(4).toInt()) + QLatin1Char(',') +
           name(kBatteryStates, 3, q.value(5).toInt()) + QLatin1Char(',') + q.value(6).toString() +
           QLatin1Char(',') + q.value(7).toString();
}

QString eventRow(const QSqlQuery& q) {
    return isoTime(q.value(0).toLongLong()) + QLatin1Char(',') + csvField(q.value(1).toString()) +
           QLatin1Char(',') + csvField(q.value(2).toString());
}

}  // namespace

bool exportCsv(QSqlDatabase& db, qint64 fromMs, qint64 toMs, const QString& samplesFile,
               const QString& eventsFile, QString* error) {
    return writeRows(db,
                     QStringLiteral("SELECT t, charge, vin, vout, source, battery, do_bits, "
                                    "di_bits FROM samples WHERE t >= ? AND t < ? ORDER BY t"),
                     fromMs, toMs, samplesFile,
                     "time,charge_percent,input_mv,output_mv,source,battery,do_bits,di_bits\r\n",
                     sampleRow, error) &&
           writeRows(db,
                     QStringLiteral("SELECT t, kind, text FROM events WHERE t >= ? AND t < ? "
                                    "ORDER BY t, id"),
                     fromMs, toMs, eventsFile, "time,kind,text\r\n", eventRow, error);
}

}  // namespace history
