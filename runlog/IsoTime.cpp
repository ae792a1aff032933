#include "runlog/IsoTime.h"

#include <QDateTime>
#include <QTimeZone>

namespace vantrel {
namespace {

std::string Format(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toStdString();
}

}  // namespace

std::string IsoUtc(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    return Format(QDateTime::fromMSecsSinceEpoch(ms.count(), QTimeZone::utc()));
}

std::optional<std::string> ParseIsoMoment(const std::string& text) {
    const QString value = QString::fromStdString(text);
    // QDate would read the date of a date and time too.
    const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
    if (date.isValid()) {
        return Format(QDateTime(date, QTime(0, 0), QTimeZone::utc()));
    }
    QDateTime time = QDateTime::fromString(value, Qt::ISODateWithMs);
    if (!time.isValid()) {
        return std::nullopt;
    }
    if (time.timeSpec() == Qt::LocalTime) {
        time.setTimeZone(QTimeZone::utc());  // no offset given: UTC, as the store's times
    }
    return Format(time);
}

}  // namespace vantrel
