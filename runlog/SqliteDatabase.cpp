#include "runlog/SqliteDatabase.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <atomic>

#include "runlog/RunLogError.h"

namespace vantrel {
namespace {

// Each try waits this long for another program's lock before the deadline is looked at.
constexpr int kBusyTryMs = 50;

QString NextConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("vantrel-runlog-%1").arg(next++);
}

// SQLITE_BUSY and SQLITE_LOCKED, also as extended codes: another connection holds the lock.
bool IsBusy(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok && ((code & 0xFF) == 5 || (code & 0xFF) == 6);
}

std::string ErrorText(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) {
        text = error.text().trimmed();
    }
    return text.isEmpty() ? "unknown database error" : text.toStdString();
}

QVariant Bound(const SqlValue& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return QVariant::fromValue(static_cast<qlonglong>(*number));
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return QString::fromStdString(*text);
    }
    return QVariant(QMetaType::fromType<QString>());
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, LogAccess access)
    : path_(path), connection_(NextConnectionName()) {
    const QString file = QString::fromStdString(path);
    if (access == LogAccess::ReadOnly && !QFileInfo(file).isFile()) {
        throw RunLogError(LogFailure::Database, "no such log file: " + path);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) {
        throw RunLogError(LogFailure::Database, ErrorText(db.lastError()));
    }
    db.setDatabaseName(file);
    db.setConnectOptions(
        access == LogAccess::ReadOnly
            ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1;QSQLITE_OPEN_READONLY").arg(kBusyTryMs)
            : QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTryMs));
    if (!db.open()) {
        throw RunLogError(LogFailure::Database, ErrorText(db.lastError()));
    }
}

SqliteDatabase::~SqliteDatabase() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

std::vector<SqlRow> SqliteDatabase::Run(const std::string& sql, const std::vector<SqlValue>& values,
                                        const LogDeadline& deadline) {
    const QSqlDatabase db = QSqlDatabase::database(connection_, false);
    for (;;) {
        deadline.Check("the log file " + path_, "stayed locked by another program for more than");
        QSqlQuery query(db);
        query.setForwardOnly(true);
        bool done = query.prepare(QString::fromStdString(sql));
        if (done) {
            for (const SqlValue& value : values) {
                query.addBindValue(Bound(value));
            }
            done = query.exec();
        }
        if (done) {
            std::vector<SqlRow> rows;
            const int columns = query.record().count();
            while (query.next()) {
                SqlRow row;
                for (int column = 0; column < columns; ++column) {
                    const QVariant value = query.value(column);
                    row.push_back(value.isNull() ? std::nullopt
                                                 : std::optional(value.toString().toStdString()));
                }
                rows.push_back(std::move(row));
            }
            return rows;
        }
        if (!IsBusy(query.lastError())) {
            throw RunLogError(LogFailure::Database, ErrorText(query.lastError()));
        }
    }
}

void SqliteDatabase::BeginWriting(const LogDeadline& deadline) {
    Run("BEGIN IMMEDIATE", {}, deadline);
}

void SqliteDatabase::Commit(const LogDeadline& deadline) {
    // A COMMIT refused for a reader's lock stays open and is tried again.
    Run("COMMIT", {}, deadline);
}

void SqliteDatabase::Abandon() noexcept {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.exec(QStringLiteral("ROLLBACK"));
}

}  // namespace vantrel
