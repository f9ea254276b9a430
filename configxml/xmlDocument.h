// Reading the program's XML files into a DOM safely. Qt's DOM parser recurses
// once per level of nesting, and so does freeing the tree: a file of tens of
// thousands of nested elements overflows the stack. A streaming pass, which
// does not recurse, measures the nesting first; a document nested deeper than
// any real file of the program needs is refused like a malformed one.
#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QIODevice>
#include <QXmlStreamReader>

namespace xmlDocument {

// Deeper than any file the program reads (they use three or four levels).
const int kMaxDepth = 32;

// True when the stream reader reads the whole document without an error and
// no element lies deeper than maxDepth levels.
inline bool nestingWithin(const QByteArray& content, int maxDepth = kMaxDepth) {
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth) return false;
        if (token == QXmlStreamReader::EndElement) --depth;
    }
    return !reader.hasError();
}

// QDomDocument::setContent (with namespace processing) on the rest of the
// device, refusing a document nested too deeply; false when refused or not
// well-formed.
inline bool read(QDomDocument& document, QIODevice* device) {
    const QByteArray content = device->readAll();
    return nestingWithin(content) && document.setContent(content, true);
}

}  // namespace xmlDocument
