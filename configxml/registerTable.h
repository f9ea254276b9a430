// config_registers.xml: a product's configurable registers, in file order.
#pragma once

#include <QString>
#include <QVector>

#include "registerRange.h"

namespace registerTable {

// A larger table is not read: parsing it would hold its reader up.
const qint64 kMaxFileBytes = 1024 * 1024;

// Access codes as the file gives them.
enum Access : quint8 { AccessNone = 0, AccessRead = 1, AccessWrite = 2, AccessReadWrite = 3 };

// "R" 1, "W" 2, "RW" or "WR" 3, in any case; anything else 0.
quint8 accessFromText(const QString& text);

// One Item: its known children applied in document order (a repeated child
// overwrites the earlier one); an Addr that is no unsigned decimal number
// gives 0. <Min>/<Max> (decimal 0..65535) bound the value; one that is no
// such number is ignored, and a Min above the Max drops both.
struct Entry {
    qint32 address = 0;
    quint8 access = AccessRead;
    QString name = QStringLiteral("NULL");
    QString description = QStringLiteral("NULL");
    registerRange::Range range;

    bool isWritable() const { return access == AccessWrite || access == AccessReadWrite; }
};

// Reads the Items of every Items element under the root ("Config" and other
// elements are skipped). Returns 0, -1 when the file cannot be opened, -2 when
// it is not well-formed XML or is nested too deeply, -3 when it is larger than
// kMaxFileBytes; entries is only replaced on 0.
int read(const QString& fileName, QVector<Entry>& entries);

}  // namespace registerTable
