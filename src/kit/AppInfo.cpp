#include "kit/AppInfo.h"

QString AppInfo::versionLine()
{
    return QStringLiteral("Version %1.%2.%3").arg(kMajor).arg(kMinor).arg(kRevision);
}
