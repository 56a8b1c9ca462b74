#pragma once

#include <QString>

// The program's name and version, as the splash and the about box show them.
namespace AppInfo {
inline const QString kTitle = QStringLiteral("Tessaly 2002");
// The desktop's name for us: desktop entry, icon and AppStream id.
inline const QString kAppId = QStringLiteral("org.tessaly.Tessaly");
constexpr int kMajor = 1;
constexpr int kMinor = 0;
constexpr int kRevision = 0;

// "Version 1.0.0"
QString versionLine();
}  // namespace AppInfo
