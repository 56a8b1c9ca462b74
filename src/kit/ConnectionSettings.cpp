#include "kit/ConnectionSettings.h"

namespace {
ConnectionSettings& current()
{
    static ConnectionSettings settings;
    return settings;
}
}  // namespace

std::optional<QSslConfiguration> ConnectionSettings::sslConfiguration() const
{
    if (extraCaCertificates.isEmpty())
        return std::nullopt;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificates(extraCaCertificates);
    return config;
}

const ConnectionSettings& connectionSettings()
{
    return current();
}

void setConnectionSettings(const ConnectionSettings& settings)
{
    current() = settings;
}
