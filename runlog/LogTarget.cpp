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
    target.database = url.path().mid(1).toStdString();
    if (!url.isValid() || target.database.empty() ||
        target.database.find('/') != std::string::npos) {
        return LogTargetError{"not a PostgreSQL address (postgresql://user@host[:port]/dbname): " +
                              text};
    }
    if (target.host.empty()) {
        target.host = "localhost";
    }
    return LogTarget{target};
}

}  // namespace vantrel
