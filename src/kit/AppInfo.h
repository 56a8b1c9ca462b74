#pragma once

#include <QString>

// The program's name and version, as the splash and the about box show them.
namespace AppInfo {
inline const QString kTitle = QStringLiteral("Tessaly 2002");
constexpr int kMajor = 1;
constexpr int kMinor = 0;
constexpr int kRevision = 0;

// "Version 1.0.0"
QString versionLine();
}  // namespace AppInfo
