#include "runlog/LogTarget.h"

#include <QSet>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

namespace vantrel {
namespace {

bool IsPostgresAddress(const std::string& text) {
    return text.starts_with("postgresql://") || text.starts_with("postgres://");
}

LogTargetError NotAnAddress(const std::string& text, const std::string& why) {
    return {"not a PostgreSQL address (postgresql://user@host[:port]/dbname" + why +
            "): " + ShownLogTarget(text)};
}

}  // namespace

std::variant<LogTarget, LogTargetError> ParseLogTarget(const std::string& text) {
    if (text.empty()) {
        return LogTargetError{"an empty log target"};
    }
    if (!IsPostgresAddress(text)) {
        return LogTarget{SqliteTarget{text}};
    }
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid()) {
        return NotAnAddress(text,
                            "; in the password write / as %2F, @ as %40, : as %3A and % as %25, "
                            "or give it in PGPASSWORD or ~/.pgpass");
    }
    PostgresTarget target;
    target.user = url.userName(QUrl::FullyDecoded).toStdString();
    target.password = url.password(QUrl::FullyDecoded).toStdString();
    target.host = url.host(QUrl::FullyDecoded).toStdString();
    target.port = url.port(5432);
    target.database = url.path(QUrl::FullyDecoded).mid(1).toStdString();
    if (target.database.empty() || target.database.find('/') != std::string::npos) {
        return NotAnAddress(text, "");
    }
    QSet<QString> seen;
    for (const auto& [key, encoded] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        const std::string value = encoded.toStdString();
        if (seen.contains(key)) {
            return LogTargetError{"the log address gives " + key.toStdString() +
                                  " twice: " + ShownLogTarget(text)};
        }
        seen.insert(key);
        if (key == "host" && !value.empty()) {
            target.host = value;
        } else if (key == "sslmode" && std::find(std::begin(kSslModes), std::end(kSslModes),
                                                 value) != std::end(kSslModes)) {
            target.sslMode = value;
        } else if (key == "sslmode") {
            return LogTargetError{
                "sslmode in the log address must be disable, allow, prefer, require, verify-ca "
                "or verify-full: " +
                ShownLogTarget(text)};
        } else if (key == "sslrootcert" && !value.empty()) {
            target.sslRootCert = value;
        } else {
            return LogTargetError{
                "the log address may give only host, sslmode and sslrootcert "
                "after '?', each once and not empty: " +
                ShownLogTarget(text)};
        }
    }
    if (target.host.empty()) {
        target.host = "localhost";
    }
    return LogTarget{target};
}

std::string ShownLogTarget(const std::string& text) {
    if (!IsPostgresAddress(text)) {
        return text;
    }
    // user:password@ ends at the last '@': a password may hold '/', '@', '?' or '%' unencoded,
    // and the address may be malformed, so nothing after the first ':' up to there is shown.
    const std::size_t start = text.find("://") + 3;
    const std::size_t at = text.rfind('@');
    if (at == std::string::npos || at < start) {
        return text;
    }
    const std::size_t colon = text.find(':', start);
    if (colon == std::string::npos || colon > at) {
        return text;
    }
    return text.substr(0, colon) + text.substr(at);
}

}  // namespace vantrel
