#pragma once

#include <QString>

#include <functional>

class QObject;

// The desktop's keyring (a Secret Service, or whatever QtKeychain finds on
// this desktop). Every job is asynchronous and waited for as long as the
// keyring takes (an unlock prompt the user is typing into), so the window
// never freezes and a slow keyring is never taken for none. Nothing here
// logs a secret.
namespace Secrets {
enum class Outcome {
    Done,       // read: found; write, remove: done
    Missing,    // the keyring answered that it holds no such entry
    NoKeyring,  // this desktop has none: the caller keeps the secret where it did before keyrings
    Failed,     // the keyring is there but refused (locked, cancelled, out of time): keep nothing in clear
};
struct Answer {
    Outcome outcome = Outcome::Failed;
    QString text;  // read: the secret; Failed: the keyring's reason
};
using Done = std::function<void(const Answer&)>;

// Whether a keyring service is on the session bus; asks only the bus, so it
// answers at once however slow the keyring itself is.
bool exists();
// Each answers once through `done` on the thread of `context`; nothing when
// `context` is gone by then.
void read(const QString& key, QObject* context, Done done);
void write(const QString& key, const QString& value, QObject* context, Done done);
void remove(const QString& key);
// For the command line, which has no window: runs the read to its end.
Answer readNow(const QString& key);
}  // namespace Secrets
