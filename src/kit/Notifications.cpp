#include "kit/Notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include "kit/AppInfo.h"

bool Notifications::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), AppInfo::kAppId}};
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    // (-1: the service decides how long it stays).
    call << AppInfo::kTitle << uint(0) << AppInfo::kAppId << summary << body << QStringList() << hints << -1;
    // Not waiting keeps the window responsive when the service is slow.
    return bus.send(call);
}
