#include "LanguageCheck.h"

#include <QDomDocument>
#include <QDomElement>
#include <QLocale>
#include <QTranslator>

#include "appPaths.h"
#include "settingsStore.h"
#include "xmlDocument.h"

namespace {

const char kFallbackFile[] = "/Language/QXUPSUtility_en_US.qm";

// The texts of Qt's standard buttons (message box Yes/No, dialog OK/Cancel)
// that the program shows. Listed here so that the program's own translation
// files carry them and the buttons follow the chosen language without Qt's
// separately packaged translations.
[[maybe_unused]] const char* const kQtButtonTexts[] = {
    QT_TRANSLATE_NOOP("QPlatformTheme", "OK"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "Cancel"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&Yes"),
    QT_TRANSLATE_NOOP("QPlatformTheme", "&No"),
};

// Inserts at the item's index; an index at or past the end appends.
void insertAt(QStringList& list, uint index, const QString& text) {
    const uint end = static_cast<uint>(list.size());
    list.insert(static_cast<int>(index < end ? index : end), text);
}

}  // namespace

LanguageCheck::LanguageCheck(QWidget* parent)
    : QWidget(parent), m_translator(new QTranslator(nullptr)) {
    readLanguageConfig();
}

LanguageCheck::~LanguageCheck() {
    delete m_translator;
}

void LanguageCheck::readLanguageConfig() {
    m_appDir = appPaths::dataDir();
    // Created where the program may write (the program's folder when it can).
    const QString folder = appPaths::settingsFile(QStringLiteral("Language"));
    appPaths::makeFolder(folder);

    m_file.setFileName(appPaths::dataFile(QStringLiteral("Language/config_Language.xml")));
    if (!m_file.open(QIODevice::ReadOnly)) return;
    parseLanguageList(&m_file, m_languageNames, m_languageAbbreviations, m_languageFiles);
    m_file.close();
}

bool LanguageCheck::parseLanguageList(QIODevice* device, QStringList& names,
                                      QStringList& abbreviations, QStringList& files) {
    QDomDocument document;
    if (!xmlDocument::read(document, device)) return false;
    uint index = 0;  // carries over from item to item
    for (QDomNode items = document.documentElement().firstChild(); !items.isNull();
         items = items.nextSibling()) {
        if (!items.isElement() || items.toElement().tagName() != QLatin1String("Items")) continue;
        for (QDomNode item = items.firstChild(); !item.isNull(); item = item.nextSibling()) {
            if (!item.isElement() || item.toElement().tagName() != QLatin1String("Item")) continue;
            for (QDomNode node = item.firstChild(); !node.isNull(); node = node.nextSibling()) {
                if (!node.isElement()) continue;
                const QDomElement element = node.toElement();
                const QString name = element.tagName();
                if (name == QLatin1String("Index"))
                    index = element.text().toUInt(nullptr, 10);
                else if (name == QLatin1String("Language"))
                    insertAt(names, index, element.text());
                else if (name == QLatin1String("Abbreviations"))
                    insertAt(abbreviations, index, element.text());
                else if (name == QLatin1String("File"))
                    insertAt(files, index, element.text());
            }
        }
    }
    return true;
}

void LanguageCheck::readLanguageIndex() {
    m_languageIndex = settingsStore::languageIndex();
}

int LanguageCheck::matchLocale(const QStringList& abbreviations, const QString& localeName) {
    const int exact = abbreviations.indexOf(localeName);
    if (exact >= 0) return exact;
    QLocale::Language language;
    if (localeName == QLatin1String("C") || localeName == QLatin1String("POSIX")) {
        language = QLocale::English;
    } else {
        language = QLocale(localeName).language();
        // Qt answers an unknown name with the C locale, which names no language.
        if (language == QLocale::C || language == QLocale::AnyLanguage) return -1;
    }
    for (int i = 0; i < abbreviations.size(); ++i)
        if (QLocale(abbreviations.at(i)).language() == language) return i;
    return -1;
}

void LanguageCheck::loadLanguage() {
    loadLanguageFor(QLocale::system().name());
}

void LanguageCheck::loadLanguageFor(const QString& systemLocaleName) {
    bool stored = false;
    settingsStore::languageIndex(&stored);
    if (!stored) {
        m_localeName = systemLocaleName;
        const int match = matchLocale(m_languageAbbreviations, m_localeName);
        if (match >= 0) settingsStore::setLanguageIndex(static_cast<uint>(match));
    }
    readLanguageIndex();
    if (m_languageFiles.isEmpty()) return;

    uint selected;
    if (m_languageIndex < static_cast<uint>(m_languageFiles.size())) {
        m_loadedFile = m_appDir + m_languageFiles.at(static_cast<int>(m_languageIndex));
        selected = m_languageIndex;
    } else {
        m_loadedFile = m_appDir + QLatin1String(kFallbackFile);
        selected = 1;
    }
    m_translator->load(m_loadedFile);

    settingsStore::setFileValue(appPaths::settingsFile(QStringLiteral("help/select.ini")),
                                QStringLiteral("/SELECTED/Language"), selected);
}
