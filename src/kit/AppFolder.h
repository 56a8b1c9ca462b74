#pragma once

#include <QString>

// Where the program keeps its files. A folder the user may write to holds
// everything itself, as a portable copy does; an installed program keeps the
// user's files under $XDG_DATA_HOME/tessaly and reads the files it ships
// from its share folder.
namespace AppFolder {

// What the choice depends on, gathered once at start-up.
struct Facts {
    QString programFolder;       // the executable's folder
    bool programFolderWritable;  // the user may create files there
    QString installedShare;      // <prefix>/share/tessaly when it holds our files, else empty
    QString xdgDataHome;         // $XDG_DATA_HOME as found in the environment
    QString home;                // the user's home folder
};

struct Choice {
    QString root;     // holds Data/ and Note/
    QString shipped;  // holds help.doc and description.txt
    bool portable;
};

// The one decision; everything below asks it through path() and shippedFolder().
Choice choose(const Facts& facts);

QString path();                       // the folder that holds Data/ and Note/, no trailing separator
void setPath(const QString& folder);  // tests point this at a temporary folder
QString dataFolder();                 // <root>/Data
QString noteFolder();                 // <root>/Note
QString databaseFile();               // <root>/Data/Tessaly.mdb
QString markerFile();                 // <root>/Data/Pass.dat
QString reminderFile();               // <root>/Data/Reminded.dat: when the reminders last looked
QString shippedFolder();              // the files that come with the program
QString helpFile();                   // <shipped>/help.doc
QString descriptionFile();            // <shipped>/description.txt
QString backupFolder();               // <root>/Data/Backup
}  // namespace AppFolder
