#include "dataObject.h"

DataObject::DataObject(QObject* parent) : QObject(parent) {}

quint8 DataObject::accessFromText(const QString& text) {
    const QString upper = text.toUpper();
    if (upper == QLatin1String("R")) return AccessRead;
    if (upper == QLatin1String("W")) return AccessWrite;
    if (upper == QLatin1String("RW") || upper == QLatin1String("WR")) return AccessReadWrite;
    return AccessNone;
}

QString DataObject::accessText(quint8 access) {
    switch (access) {
        case AccessRead:
            return QStringLiteral("R");
        case AccessWrite:
            return QStringLiteral("W");
        case AccessReadWrite:
            return QStringLiteral("RW");
        default:
            return QString();
    }
}
