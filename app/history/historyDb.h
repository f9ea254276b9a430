// The history database: the module's samples and events in one SQLite file
// (Qt SQL, QSQLITE driver). The records, the schema and its migration, and the
// statements the writer, the History page, the export and the benchmark share.
// Every function works on a connection of the calling thread (a QSqlDatabase
// belongs to the thread that opened it).
#pragma once

#include <QString>
#include <QVector>

class QSqlDatabase;

namespace history {

// The schema this program writes (PRAGMA user_version).
const int kSchemaVersion = 2;

// The learned row the program keeps: percent per second a discharge takes.
extern const char* const kLearnedDischargeRate;  // "discharge_rate"

// Event kinds; stored as their codes ("dc-lost", ...), which upsctl prints too.
enum EventKind {
    DcLost = 0,
    DcBack,
    SwOn,
    SwOff,
    LineLost,
    LineRestored,
    LowBattery,
    CriticalBattery,
    ScriptStarted,
    ScriptEnded,
    WriteRegister,
    Connected,
    Disconnected,
    kEventKinds
};

const char* kindCode(int kind);
// -1 for an unknown code.
int kindFromCode(const QString& code);

// One stored sample. Voltages are -1 for a device without voltage registers.
struct sample {
    qint64 timeMs;  // UTC, ms since the epoch
    int charge;     // %
    int inputMv;
    int outputMv;
    int source;        // status word 27: 1 DC input, 2 battery
    int battery;       // 0 charging, 1 full, 2 discharging
    int doBits;        // bit 0 DC_OK, 1 Bat.Mode, 2 Bat.Ready, 3 SW
    int diBits;        // bit 0 Remote, 1 Bat.Start, 2 Dev.PSts
    int runtime = -1;  // seconds left on battery, -1 unknown (stored as NULL)
};

struct event {
    qint64 timeMs;
    int kind;
    QString text;
};

// The samples of one pixel column of a chart: averages, the voltage extremes
// and whether the module ran on battery at any time in it.
struct bucket {
    qint64 timeMs;  // the first sample's time
    double charge;
    double inputMv;  // averages; -1 without voltages
    double outputMv;
    int inputMin;
    int inputMax;
    bool onBattery;
};

// Opens (creating it when missing) the database file under a connection name
// of the calling thread: WAL journal, the schema migrated to kSchemaVersion.
// On failure *error says why and *corrupt whether the file is damaged (not a
// database, or failing its quick check); the connection is removed.
bool open(const QString& connection, const QString& path, bool readOnly, QString* error,
          bool* corrupt = nullptr);
// Closes and removes the connection.
void close(const QString& connection);

// One transaction for the lot.
// *busy tells a file locked by another connection (a passing condition: the
// batch may be tried again) from a real failure.
bool insert(QSqlDatabase& db, const QVector<sample>& samples, const QVector<event>& events,
            QString* error, bool* busy = nullptr);
// A value the program learned (the learned table); false when there is none.
bool learned(QSqlDatabase& db, const char* name, double* value);
bool storeLearned(QSqlDatabase& db, const char* name, double value);
// The discharge rate the last few discharges in the samples show (percent per
// second, folded oldest first), 0 when none shows one.
double rateFromPastDischarges(QSqlDatabase& db, int discharges);

// Deletes samples and events older than the time; the number of rows gone, -1 on failure.
int purgeBefore(QSqlDatabase& db, qint64 timeMs);

// The samples in [fromMs, toMs) as at most `columns` buckets of equal time
// width, decimated in SQL; buckets of 10 minutes and more are made from the
// per-minute sums kept beside the samples.
QVector<bucket> chart(QSqlDatabase& db, qint64 fromMs, qint64 toMs, int columns);
// The time of the oldest sample stored, -1 when there is none.
qint64 firstSampleMs(QSqlDatabase& db);
// Events in [fromMs, toMs), newest first; kind -1 takes every kind.
QVector<event> events(QSqlDatabase& db, qint64 fromMs, qint64 toMs, int kind, int limit);

// Writes the rows in [fromMs, toMs) as CSV (RFC 4180: CRLF, quoted where
// needed, ISO 8601 UTC times), oldest first.
bool exportCsv(QSqlDatabase& db, qint64 fromMs, qint64 toMs, const QString& samplesFile,
               const QString& eventsFile, QString* error);

// ISO 8601 UTC with milliseconds ("2026-03-01T12:00:00.000Z").
QString isoTime(qint64 timeMs);
// One CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text);

}  // namespace history
