// Starting the program when the user logs on, through the XDG autostart entry
// REVOV_Azezed.desktop in $XDG_CONFIG_HOME/autostart. The settings page needs
// three operations only: is the program registered with this path, register
// it, unregister it.
#pragma once

#include <QString>

namespace autoStart {

// The entry's file: $XDG_CONFIG_HOME/autostart/REVOV_Azezed.desktop.
QString entryFile();

// The Exec value that starts the program at programPath with no arguments,
// quoted and escaped by the Desktop Entry rules.
QString execValue(const QString& programPath);

// True when the entry exists and its Exec starts exactly programPath.
bool isRegistered(const QString& programPath);

// Writes the entry for programPath, replacing any previous one atomically.
// False when it cannot be written (the previous entry stays).
bool registerProgram(const QString& programPath);

// Removes the entry; true when there is none afterwards.
bool unregisterProgram();

}  // namespace autoStart
