// Chooses the interface language: reads the language list
// (Language/config_Language.xml), picks the stored choice or, at the first
// start, the one matching the system locale, loads its translation and records
// the choice in help/select.ini for the help.
#pragma once

#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QWidget>

class QTranslator;

class LanguageCheck : public QWidget {
    Q_OBJECT
public:
    // Reads the language list; the translator is created here and installed
    // into the application by the entry.
    explicit LanguageCheck(QWidget* parent = nullptr);
    ~LanguageCheck() override;

    // Picks the language, loads its translation and writes select.ini.
    void loadLanguage();
    // loadLanguage() with systemLocaleName taken as the system's locale at a
    // first start.
    void loadLanguageFor(const QString& systemLocaleName);

    QTranslator* translator() const { return m_translator; }
    const QStringList& languageNames() const { return m_languageNames; }
    const QStringList& languageFiles() const { return m_languageFiles; }
    const QStringList& languageAbbreviations() const { return m_languageAbbreviations; }
    uint languageIndex() const { return m_languageIndex; }
    // The translation file handed to the translator; empty when none was.
    const QString& loadedFile() const { return m_loadedFile; }

    // The list position for a locale name at the first start: the exact name,
    // else the first item of the same language (en_GB finds en_US), where the
    // "C" and "POSIX" locales count as English; -1 when nothing fits.
    static int matchLocale(const QStringList& abbreviations, const QString& localeName);

    // Parses a language list into the three lists, each value inserted at its
    // item's Index; false (lists untouched) when the XML cannot be parsed or
    // is nested too deeply (see xmlDocument.h).
    static bool parseLanguageList(QIODevice* device, QStringList& names, QStringList& abbreviations,
                                  QStringList& files);

private:
    void readLanguageConfig();
    void readLanguageIndex();

    QString m_appDir;
    QString m_localeName;
    uint m_languageIndex = 0;
    QFile m_file;
    QTranslator* m_translator;
    QStringList m_languageNames;
    QStringList m_languageFiles;
    QStringList m_languageAbbreviations;
    QString m_loadedFile;
};
