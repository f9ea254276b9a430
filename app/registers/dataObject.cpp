#include "dataObject.h"

#include "registerTable.h"

DataObject::DataObject(QObject* parent) : QObject(parent) {}

quint8 DataObject::accessFromText(const QString& text) {
    return registerTable::accessFromText(text);
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
