#pragma once

#include <QString>

#include <optional>

// The desktop's keyring (a Secret Service, or whatever QtKeychain finds on
// this desktop). Each call waits a few seconds at most and ignores clicks and
// keys meanwhile, so a keyring that does not answer never freezes the window;
// one that timed out counts as absent for the rest of the run. Nothing here
// logs a secret.
namespace Secrets {
// Whether a keyring answers now.
bool available();
// The secret stored under `key`; nothing when there is none or no keyring.
std::optional<QString> read(const QString& key);
// Stores or replaces the secret; false when the keyring refused or is absent.
bool write(const QString& key, const QString& value);
// Forgets the secret; true also when there was none.
bool remove(const QString& key);
}  // namespace Secrets
