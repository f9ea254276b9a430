#include "productTable.h"

#include <QDomDocument>
#include <QDomElement>
#include <QFile>

#include "xmlDocument.h"

namespace productTable {

int findTitle(const QString& fileName, quint16 deviceType, QString* title, bool* found) {
    *found = false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    QDomDocument document;
    if (!xmlDocument::read(document, &file)) return -2;
    file.close();

    for (QDomNode node = document.documentElement().firstChild(); !node.isNull();
         node = node.nextSibling()) {
        const QDomElement items = node.toElement();
        if (items.isNull() || items.tagName() != QLatin1String("Items")) continue;
        for (QDomElement item = items.firstChildElement(QStringLiteral("Item")); !item.isNull();
             item = item.nextSiblingElement(QStringLiteral("Item"))) {
            QString itemTitle;
            bool hasCode = false;
            quint16 code = 0;
            for (QDomElement e = item.firstChildElement(); !e.isNull();
                 e = e.nextSiblingElement()) {
                if (e.tagName() == QLatin1String("DeviceType")) {
                    itemTitle = e.text();
                } else if (e.tagName() == QLatin1String("Value")) {
                    bool ok = false;
                    const ushort value = e.text().toUShort(&ok, 10);
                    code = ok ? value : 0;
                    hasCode = true;
                }
            }
            if (!hasCode || code != deviceType) continue;
            *title = itemTitle;
            *found = true;
            return 0;
        }
    }
    return 0;
}

bool isSingleComponent(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0));
}

}  // namespace productTable
