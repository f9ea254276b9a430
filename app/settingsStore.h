// The user settings store: QSettings in the native format, organisation
// "Tarvel", application "UPS", with the last part of the key path as the group.
// Everything that reads or writes "batPath", "batExecutePolicy" or "Language"
// goes through here.
#pragma once

#include <QString>
#include <QVariant>

namespace settingsStore {

extern const char* const kGroupPostProcess;  // "REVOV_Azezed"
extern const char* const kGroupLanguage;     // "Language"
extern const char* const kGroupWindow;       // "Window": the window's layout, notices given once

QVariant value(const char* group, const QString& key, const QVariant& defaultValue = QVariant());
void setValue(const char* group, const QString& key, const QVariant& value);

// The post-process script ("batPath"), empty when none is set.
QString batPath();
void setBatPath(const QString& path);

// The post-process policy ("batExecutePolicy"): 0 none, 1 on DC loss, 2 on SW on.
int batExecutePolicy();
void setBatExecutePolicy(int policy);

// The low-battery levels in percent (0 = off; defaults 20 and 5), and
// whether the post-process script runs when the critical level is reached.
int warnLevel();
void setWarnLevel(int percent);
int criticalLevel();
void setCriticalLevel(int percent);
bool criticalRunsScript();
void setCriticalRunsScript(bool run);

// When the DC-loss action runs: a ride-through delay in seconds after the
// loss ("rideThroughS", 0..3600, default 0 = at the loss), and a level of
// time left on battery in minutes that acts when the estimate falls below it
// ("runtimeLevelMin", 0..1440, default 0 = off).
int rideThroughS();
void setRideThroughS(int seconds);
int runtimeLevelMin();
void setRuntimeLevelMin(int minutes);

// How many days the history keeps ("historyDays", 1..3650, default 30).
int historyDays();
void setHistoryDays(int days);

// Writes one value into a settings file of the program's own in INI format
// (help/select.ini): its folder is made 0700 and the file 0600, whatever the
// umask.
void setFileValue(const QString& fileName, const QString& key, const QVariant& value);

// The chosen language ("Language"), empty when none was chosen.
QString language();
void setLanguage(const QString& language);

// The chosen language as its position in the language list, 0 when none is
// stored; *stored (when given) tells whether a choice is stored at all.
uint languageIndex(bool* stored = nullptr);
void setLanguageIndex(uint index);

}  // namespace settingsStore
