// Build-time generator of the help projects. From one set of page templates per
// language it writes, for one product, the HTML pages with the product's name,
// device type and register list filled in, the table of contents and the
// project file that chmcmd compiles. It also writes help.ini, the list of
// products the help dialog offers, from the product file.
//
//   helpgen pages <templateDir> <lang> <product> <config_product.xml>
//                 <config_registers.xml> <outDir> <chmName> <page>...
//   helpgen ini <config_product.xml> <help.ini>
//
// Templates are UTF-8 HTML with these markers:
//   {{PRODUCT}} {{DEVICE_TYPE}} {{DESCRIPTION}} {{REGISTERS}}
//   {{#VOLTAGES}}...{{/VOLTAGES}}  kept when the product reports its voltages
//   {{^VOLTAGES}}...{{/VOLTAGES}}  kept when it does not
// <templateDir>/<lang>/texts.xml holds the texts that depend on the language
// (access codes, and translated register and product descriptions, which fall
// back to the descriptions of the register file).
#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTextCodec>
#include <QVector>

#include <cstdio>

namespace {

// The status page blanks its voltage rows for this device type, so the help
// of that product does not describe them.
const quint16 kBlankVoltageType = 301;

struct Product {
    QString title;
    quint16 deviceType = 0;
    bool listed = false;
};

struct Register {
    QString addr;
    QString name;
    QString access;
    QString description;
};

void fail(const QString& message) {
    std::fprintf(stderr, "helpgen: %s\n", qPrintable(message));
}

bool readDom(const QString& path, QDomDocument* doc) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QString("cannot read %1").arg(path));
        return false;
    }
    QString error;
    int line = 0;
    if (!doc->setContent(&file, true, &error, &line)) {
        fail(QString("%1:%2: %3").arg(path).arg(line).arg(error));
        return false;
    }
    return true;
}

QString childText(const QDomElement& parent, const QString& name) {
    return parent.firstChildElement(name).text().trimmed();
}

// Every product of the product file, in file order.
bool readProducts(const QString& path, QVector<Product>* products) {
    QDomDocument doc;
    if (!readDom(path, &doc)) return false;
    const QDomElement root = doc.documentElement();
    for (QDomElement items = root.firstChildElement("Items"); !items.isNull();
         items = items.nextSiblingElement("Items")) {
        for (QDomElement item = items.firstChildElement("Item"); !item.isNull();
             item = item.nextSiblingElement("Item")) {
            Product product;
            product.title = childText(item, "DeviceType");
            bool ok = false;
            product.deviceType = childText(item, "Value").toUShort(&ok);
            product.listed = ok && !product.title.isEmpty();
            if (product.listed) products->append(product);
        }
    }
    return true;
}

bool readRegisters(const QString& path, QString* description, QVector<Register>* registers) {
    QDomDocument doc;
    if (!readDom(path, &doc)) return false;
    const QDomElement root = doc.documentElement();
    *description = childText(root.firstChildElement("Config"), "Description");
    for (QDomElement item = root.firstChildElement("Items").firstChildElement("Item");
         !item.isNull(); item = item.nextSiblingElement("Item")) {
        Register reg;
        reg.addr = childText(item, "Addr");
        reg.name = childText(item, "Name");
        reg.access = childText(item, "RW");
        reg.description = childText(item, "Description");
        registers->append(reg);
    }
    return true;
}

// texts.xml: <Texts><Text key="...">...</Text>...</Texts>
bool readTexts(const QString& path, QMap<QString, QString>* texts) {
    QDomDocument doc;
    if (!readDom(path, &doc)) return false;
    for (QDomElement text = doc.documentElement().firstChildElement("Text"); !text.isNull();
         text = text.nextSiblingElement("Text")) {
        texts->insert(text.attribute("key"), text.text().trimmed());
    }
    return true;
}

bool readUtf8(const QString& path, QString* content) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QString("cannot read %1").arg(path));
        return false;
    }
    *content = QString::fromUtf8(file.readAll());
    return true;
}

bool writeUtf8(const QString& path, const QString& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content.toUtf8()) < 0) {
        fail(QString("cannot write %1").arg(path));
        return false;
    }
    return true;
}

// Keeps or drops the {{#NAME}} and {{^NAME}} sections.
QString applySection(QString text, const QString& name, bool on) {
    const QRegularExpression shown(QString("\\{\\{#%1\\}\\}(.*?)\\{\\{/%1\\}\\}").arg(name),
                                   QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression hidden(QString("\\{\\{\\^%1\\}\\}(.*?)\\{\\{/%1\\}\\}").arg(name),
                                    QRegularExpression::DotMatchesEverythingOption);
    text.replace(shown, on ? "\\1" : "");
    text.replace(hidden, on ? "" : "\\1");
    return text;
}

// Some help viewers wrap lines only at blanks, so a Chinese paragraph would run
// off the page as one long word. A blank after each clause mark gives them a
// place to wrap; the style sheet makes it take no room in viewers that follow
// it. Preformatted text and the title are left as written.
QString addWrapPoints(const QString& html) {
    const QRegularExpression keep("(<pre.*?</pre>|<title>.*?</title>)",
                                  QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression clauseMark(QString::fromUtf8("([，。、；：！？])(?=[^\\s<])"));
    QString result;
    int done = 0;
    QRegularExpressionMatchIterator blocks = keep.globalMatch(html);
    auto wrapPart = [&](int from, int to) {
        QString part = html.mid(from, to - from);
        part.replace(clauseMark, "\\1<span class=\"wrap\"> </span>");
        result += part;
    };
    while (blocks.hasNext()) {
        const QRegularExpressionMatch block = blocks.next();
        wrapPart(done, block.capturedStart());
        result += block.captured();
        done = block.capturedEnd();
    }
    wrapPart(done, html.size());
    return result;
}

QString firstMatch(const QString& html, const QString& pattern) {
    const QRegularExpression re(pattern, QRegularExpression::DotMatchesEverythingOption |
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = re.match(html);
    QString text = match.hasMatch() ? match.captured(1) : QString();
    text.remove(QRegularExpression("<[^>]*>"));
    return text.simplified();
}

QString attributeEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

// Help viewers read the table of contents and the project's title in the
// code page of the help file's language, whatever the files declare; the pages
// themselves declare UTF-8, which the viewers honour.
QTextCodec* viewerCodec(const QString& lang) {
    return QTextCodec::codecForName(lang.startsWith("zh") ? "GBK" : "Windows-1252");
}

QString viewerCharset(const QString& lang) {
    return lang.startsWith("zh") ? "gb2312" : "windows-1252";
}

bool writeForViewer(const QString& path, const QString& lang, const QString& content) {
    QTextCodec* codec = viewerCodec(lang);
    if (!codec || !codec->canEncode(content)) {
        fail(QString("%1: text that the %2 code page cannot hold").arg(path, lang));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(codec->fromUnicode(content)) < 0) {
        fail(QString("cannot write %1").arg(path));
        return false;
    }
    return true;
}

// HTML Help language codes.
QString languageId(const QString& lang) {
    return lang.startsWith("zh") ? "0x804 Chinese (PRC)" : "0x409 English (United States)";
}

int generatePages(const QStringList& args) {
    if (args.size() < 9) {
        fail("pages: too few arguments");
        return 2;
    }
    const QString templateDir = args[0];
    const QString lang = args[1];
    const QString productName = args[2];
    const QString productFile = args[3];
    const QString registerFile = args[4];
    const QString outDir = args[5];
    const QString chmName = args[6];
    const QStringList pages = args.mid(7);

    QVector<Product> products;
    if (!readProducts(productFile, &products)) return 1;
    Product product;
    for (const Product& p : products) {
        if (p.title == productName) {
            product = p;
            break;
        }
    }
    if (!product.listed) {
        fail(QString("%1 is not listed in %2").arg(productName, productFile));
        return 1;
    }

    QString description;
    QVector<Register> registers;
    if (!readRegisters(registerFile, &description, &registers)) return 1;
    QMap<QString, QString> texts;
    if (!readTexts(templateDir + "/" + lang + "/texts.xml", &texts)) return 1;
    description = texts.value("product." + product.title, description);

    const QString deviceType = QString::number(product.deviceType);
    QString rows;
    for (const Register& reg : registers) {
        const QString key = "register." + reg.name;
        if (lang != "en" && !texts.contains(key)) {
            fail(QString("note: %1/texts.xml has no %2; the register file's text is used")
                     .arg(lang, key));
        }
        QString regDescription = texts.value(key, reg.description);
        regDescription.replace("{{DEVICE_TYPE}}", deviceType);
        rows += QString("<tr><td>%1</td><td><code>%2</code></td><td>%3</td><td>%4</td></tr>\n")
                    .arg(reg.addr.toHtmlEscaped(), reg.name.toHtmlEscaped(),
                         texts.value("access." + reg.access, reg.access).toHtmlEscaped(),
                         regDescription.toHtmlEscaped());
    }

    if (!QDir().mkpath(outDir)) {
        fail(QString("cannot create %1").arg(outDir));
        return 1;
    }
    const bool voltages = product.deviceType != kBlankVoltageType;
    QString toc;
    QString helpTitle;
    for (const QString& page : pages) {
        QString html;
        if (!readUtf8(templateDir + "/" + lang + "/" + page, &html)) return 1;
        html = applySection(html, "VOLTAGES", voltages);
        html.replace("{{PRODUCT}}", product.title.toHtmlEscaped());
        html.replace("{{DEVICE_TYPE}}", deviceType);
        html.replace("{{DESCRIPTION}}", description.toHtmlEscaped());
        html.replace("{{REGISTERS}}", rows);
        if (html.contains("{{")) {
            fail(QString("%1/%2: unknown marker left").arg(lang, page));
            return 1;
        }
        if (!writeUtf8(outDir + "/" + page, lang.startsWith("zh") ? addWrapPoints(html) : html))
            return 1;
        if (helpTitle.isEmpty()) helpTitle = firstMatch(html, "<title>(.*?)</title>");
        toc += QString(
                   "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"%1\">"
                   "<param name=\"Local\" value=\"%2\"></object>\n")
                   .arg(attributeEscaped(firstMatch(html, "<h1[^>]*>(.*?)</h1>")), page);
    }

    QFile::remove(outDir + "/help.css");
    if (!QFile::copy(templateDir + "/help.css", outDir + "/help.css")) {
        fail("cannot copy help.css");
        return 1;
    }

    const QString hhc = QString(
                            "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<html><head>"
                            "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                            "charset=%1\"></head><body>\n<ul>\n%2</ul>\n</body></html>\n")
                            .arg(viewerCharset(lang), toc);
    if (!writeForViewer(outDir + "/toc.hhc", lang, hhc)) return 1;

    QString project = QString(
                          "[OPTIONS]\n"
                          "Compatibility=1.1 or later\n"
                          "Compiled file=%1\n"
                          "Contents file=toc.hhc\n"
                          "Default topic=%2\n"
                          "Display compile progress=No\n"
                          "Language=%3\n"
                          "Title=%4\n"
                          "\n[FILES]\n")
                          .arg(chmName, pages.first(), languageId(lang), helpTitle);
    for (const QString& page : pages)
        project += page + "\n";
    project += "help.css\n";
    return writeForViewer(outDir + "/help.hhp", lang, project) ? 0 : 1;
}

// One group per product, named by its title; the program lists the groups.
int generateIni(const QStringList& args) {
    if (args.size() != 2) {
        fail("ini: expected <config_product.xml> <help.ini>");
        return 2;
    }
    QVector<Product> products;
    if (!readProducts(args[0], &products)) return 1;
    const QString target = args[1];
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QString temporary = target + ".tmp";
    QFile::remove(temporary);
    {
        QSettings ini(temporary, QSettings::IniFormat);
        for (const Product& product : products) {
            ini.beginGroup(product.title);
            ini.setValue("DeviceType", product.deviceType);
            ini.endGroup();
        }
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            fail(QString("cannot write %1").arg(temporary));
            return 1;
        }
    }
    QFile::remove(target);
    if (!QFile::rename(temporary, target)) {
        fail(QString("cannot write %1").arg(target));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString mode = args.isEmpty() ? QString() : args.takeFirst();
    if (mode == "pages") return generatePages(args);
    if (mode == "ini") return generateIni(args);
    fail("usage: helpgen pages|ini ...");
    return 2;
}
