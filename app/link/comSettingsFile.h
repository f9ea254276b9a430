// The device link's two files and the port-name rule. The settings page calls
// these for its loadConfig, saveConfig, portNumberFromName and
// loadProductTitle.
#pragma once

#include <QString>

class comSettings;

namespace comSettingsFile {

// Reads config_com.xml into the record. A file that is missing or cannot be
// parsed (also one nested too deeply, see xmlDocument.h) leaves the record as
// it is; unknown elements are ignored; when an element occurs more than once
// (also across several Setting elements) the last one wins.
void loadConfig(comSettings& settings, const QString& fileName);

// The password of upsd's user is kept in a file of its own beside
// config_com.xml ("nut_password", 0600), so that the settings file can be
// shown or copied without it. Loading a missing file leaves it empty; saving
// an empty password removes the file. false (with one log line naming the
// file, never the password) when it cannot be written.
QString passwordFile(const QString& configFileName);
void loadPassword(comSettings& settings, const QString& fileName);
bool savePassword(const comSettings& settings, const QString& fileName);

// Writes the whole record but the password to config_com.xml, replacing the file atomically.
// A file that cannot be written keeps its previous contents and logs one line
// naming it; the result is then false.
bool saveConfig(const comSettings& settings, const QString& fileName);

// "COM3" -> 3, "COM0" -> 0; -1 when the digits and points left in the name do
// not form a decimal number without leading zeros ("COM01", "COM1.2", "COM").
int portNumberFromName(const QString& name);

// Looks the device type up in config_product.xml. Returns -1 when the file
// cannot be opened and -2 when it cannot be parsed or is nested too deeply
// (nothing changes), else 0.
// At the first Item whose Value equals the device type, stores its title in
// productTitle, logs "Product: " + title and sets *matched; without a match the
// title keeps its value. A matching title that is not a single path component
// (it names the product's folders) is refused with a log line, as no match.
int loadProductTitle(const QString& fileName, quint16 deviceType, QString& productTitle,
                     bool* matched = nullptr);

}  // namespace comSettingsFile
