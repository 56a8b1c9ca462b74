#pragma once

#include <QString>

// Desktop notifications through the freedesktop notification service on the
// session bus. Without a bus or a service nothing is shown, and nothing fails.
namespace Notifications {
// Sends one notification without waiting for the answer; false when there
// is no session bus to send it on.
bool notify(const QString& summary, const QString& body);
}  // namespace Notifications
