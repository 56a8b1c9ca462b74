#pragma once

#include <QString>

// The folder the program runs from, and the folders and files below it.
namespace AppFolder {
QString path();            // the executable's folder, no trailing separator
void setPath(const QString& folder);  // tests point this at a temporary folder
QString dataFolder();      // <app>/Data
QString noteFolder();      // <app>/Note
QString databaseFile();    // <app>/Data/Tessaly.mdb
QString markerFile();      // <app>/Data/Pass.dat
QString backupFolder();    // <app>/Data/Backup
}  // namespace AppFolder
