#pragma once

#include <QString>

#include <functional>

#include "kit/MailSettings.h"

class Connection;
class QWidget;

// The mailbox password for a check or a send on `server`, when the screen has
// none at hand: the keyring's, while a prompt shows the wait with Cancel,
// else what the user enters in that prompt ("Keep it" stores it). `go` runs
// with a password that is never empty; nothing runs when the user cancels
// or `screen` closes first.
void withMailPassword(QWidget* screen, Connection& con, const MailSettings& settings, const QString& server,
                      const std::function<void(const QString&)>& go);
