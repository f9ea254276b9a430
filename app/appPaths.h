// Where the program keeps its files. The data folder holds the read-only data
// shipped beside the program (configs/config_product.xml, iconfigs/, Language/,
// help/, Themes/); the settings folder takes the files the program writes
// (configs/config_com.xml, help/select.ini). Both are the program's own folder
// unless that folder cannot be written or is an installed tree (it holds the
// file INSTALLED), in which case settings go to $XDG_CONFIG_HOME/Tarvel/UPS. QXUPS_APPDIR, when set, replaces the program's
// folder (a private copy of the data for tests, or a second set-up).
#pragma once

#include <QByteArray>
#include <QString>

namespace appPaths {

// The program's folder, or QXUPS_APPDIR; no trailing "/".
QString dataDir();

// dataDir() when it is writable and not installed, otherwise the per-user
// configuration folder.
QString settingsDir();

// A data file: dataDir() + "/" + relativePath.
QString dataFile(const QString& relativePath);

// A file the program writes: settingsDir() + "/" + relativePath.
QString settingsFile(const QString& relativePath);

// A file the program may have written: the settings folder's copy when it
// exists, otherwise the data folder's.
QString readableFile(const QString& relativePath);

// Creates the folder and its missing parents, each one 0700 whatever the
// umask (a folder that exists keeps its mode); false when it cannot be made.
bool makeFolder(const QString& path);

// Creates the folder (with its parents) that will hold a settings file, as
// makeFolder does; false when it cannot be created.
bool makeFolderFor(const QString& filePath);

// Gives a settings file the mode 0600 whatever the umask, creating it empty
// when missing; false when it cannot. For files QSettings writes: called
// before a save, since the file that replaces the old one takes the old one's
// mode (a new one would take the umask's), and after it. The folder may be
// writable by others (a shared install): a symbolic link at the name is
// removed and replaced by a file of our own, never followed; anything but a
// plain file of ours with one name is refused.
bool keepPrivate(const QString& filePath);

// Removes a symbolic link standing at the name, before a QSaveFile writes
// there: it would write through the link, replacing the link's target; false
// when one stays.
bool removeLink(const QString& filePath);

// Replaces the file with one holding data, 0600, made under a temporary name
// and renamed over it, so that a link at the name is never followed; false
// when it cannot be written.
bool writePrivate(const QString& filePath, const QByteArray& data);

// Whether a name taken from a data file can be joined into a path as one
// folder or file name: not empty, not "." or "..", and without '/', '\' or
// NUL.
bool isSingleComponent(const QString& name);

}  // namespace appPaths
