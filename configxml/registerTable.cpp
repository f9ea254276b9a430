#include "registerTable.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>

#include "xmlDocument.h"

namespace registerTable {

namespace {

Entry entryFromItem(const QDomElement& item) {
    Entry entry;
    for (QDomElement field = item.firstChildElement(); !field.isNull();
         field = field.nextSiblingElement()) {
        const QString tag = field.tagName();
        if (tag == QLatin1String("Addr")) {
            entry.address = static_cast<qint32>(field.text().toUInt());
        } else if (tag == QLatin1String("Name")) {
            entry.name = field.text();
        } else if (tag == QLatin1String("RW")) {
            entry.access = accessFromText(field.text());
        } else if (tag == QLatin1String("Description")) {
            entry.description = field.text();
        } else if (tag == QLatin1String("Min") || tag == QLatin1String("Max")) {
            bool ok = false;
            const ushort bound = field.text().trimmed().toUShort(&ok, 10);
            if (!ok) continue;
            if (tag == QLatin1String("Min")) {
                entry.range.min = bound;
            } else {
                entry.range.max = bound;
            }
        }
    }
    if (entry.range.min > entry.range.max) entry.range = registerRange::Range();
    return entry;
}

}  // namespace

quint8 accessFromText(const QString& text) {
    const QString upper = text.toUpper();
    if (upper == QLatin1String("R")) return AccessRead;
    if (upper == QLatin1String("W")) return AccessWrite;
    if (upper == QLatin1String("RW") || upper == QLatin1String("WR")) return AccessReadWrite;
    return AccessNone;
}

int read(const QString& fileName, QVector<Entry>& entries) {
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly)) return -1;
    if (file.size() > kMaxFileBytes) return -3;
    QDomDocument document;
    if (!xmlDocument::read(document, &file)) return -2;

    QVector<Entry> result;
    const QDomElement root = document.documentElement();
    for (QDomElement child = root.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() != QLatin1String("Items")) continue;
        for (QDomElement item = child.firstChildElement(); !item.isNull();
             item = item.nextSiblingElement()) {
            if (item.tagName() == QLatin1String("Item")) result.append(entryFromItem(item));
        }
    }
    entries = result;
    return 0;
}

}  // namespace registerTable
