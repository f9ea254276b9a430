// One configurable register of the connected product: its number, the last
// value read from the module (none until one is read, or while the module
// refuses it), its access code and its texts.
#pragma once

#include <QObject>
#include <QString>

#include "registerRange.h"

class DataObject : public QObject {
public:
    // Access codes as the register table file gives them.
    enum Access : quint8 { AccessNone = 0, AccessRead = 1, AccessWrite = 2, AccessReadWrite = 3 };

    explicit DataObject(QObject* parent = nullptr);

    // "R" 1, "W" 2, "RW" or "WR" 3, in any case; anything else 0.
    static quint8 accessFromText(const QString& text);
    // "R", "W" or "RW" for 1, 2, 3; empty for anything else.
    static QString accessText(quint8 access);

    qint32 address() const { return m_address; }
    void setAddress(qint32 address) { m_address = address; }
    quint16 value() const { return m_value; }
    void setValue(quint16 value) {
        m_value = value;
        m_known = true;
    }
    bool hasValue() const { return m_known; }
    void clearValue() { m_known = false; }
    quint8 access() const { return m_access; }
    void setAccess(quint8 access) { m_access = access; }
    bool isWritable() const { return m_access == AccessWrite || m_access == AccessReadWrite; }
    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QString description() const { return m_description; }
    void setDescription(const QString& description) { m_description = description; }
    // The values the product's table allows (0..65535 when it gives none).
    registerRange::Range range() const { return m_range; }
    void setRange(const registerRange::Range& range) { m_range = range; }

private:
    qint32 m_address = 0;
    quint16 m_value = 0;
    // False until the first read: a register the module never answered shows
    // an empty cell, never a number that could be taken for a real value.
    bool m_known = false;
    quint8 m_access = AccessRead;
    QString m_name = QStringLiteral("NULL");
    QString m_description = QStringLiteral("NULL");
    registerRange::Range m_range;
};
