#include "runlog/LogTarget.h"

#include <QUrl>
#include <QUrlQuery>

namespace vantrel {

std::variant<LogTarget, LogTargetError> ParseLogTarget(const std::string& text) {
    if (text.empty()) {
        return LogTargetError{"an empty log target"};
    }
    if (!text.starts_with("postgresql://") && !text.starts_with("postgres://")) {
        return LogTarget{SqliteTarget{text}};
    }
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    const QUrlQuery query(url);
    PostgresTarget target;
    target.user = url.userName().toStdString();
    target.password = url.password().toStdString();
    target.host = query.hasQueryItem("host") ? query.queryItemValue("host").toStdString()
                                             : url.host().toStdString();
    target.port = url.port(5432);
    target.sslMode = query.queryItemValue("sslmode").toStdString();
    target.sslRootCert = query.queryItemValue("sslrootcert").toStdString();
    target.database = url.path().mid(1).toStdString();
    if (!url.isValid() || target.database.empty() ||
        target.database.find('/') != std::string::npos) {
        return LogTargetError{"not a PostgreSQL address (postgresql://user@host[:port]/dbname): " +
                              ShownLogTarget(text)};
    }
    if (target.host.empty()) {
        target.host = "localhost";
    }
    return LogTarget{target};
}

std::string ShownLogTarget(const std::string& text) {
    if (!text.starts_with("postgresql://") && !text.starts_with("postgres://")) {
        return text;
    }
    // user:password@ up to the last '@' before the path: whatever it holds stays unsaid.
    const std::size_t start = text.find("://") + 3;
    const std::size_t slash = text.find('/', start);
    const std::size_t at = text.rfind('@', slash);
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
