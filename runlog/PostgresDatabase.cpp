#include "runlog/PostgresDatabase.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

#include "runlog/RunLogError.h"

namespace vantrel {
namespace {

constexpr const char* kServer = "the database server";

// The client's own text on one line: libpq ends lines with '\n' and indents hints with '\t'.
std::string OneLine(const char* text) {
    std::string line;
    bool blank = false;
    for (const char* c = text; c != nullptr && *c != '\0'; ++c) {
        const bool space = *c == '\n' || *c == '\t' || *c == ' ' || *c == '\r';
        if (space) {
            blank = !line.empty();
            continue;
        }
        if (blank) {
            line += ' ';
            blank = false;
        }
        line += *c;
    }
    return line.empty() ? "unknown database error" : line;
}

// "SELECT ... WHERE a = ? AND b = ?" as PostgreSQL numbers them: $1, $2.
std::string NumberedParameters(const std::string& sql) {
    std::string numbered;
    int next = 1;
    for (const char c : sql) {
        if (c == '?') {
            numbered += '$' + std::to_string(next++);
        } else {
            numbered += c;
        }
    }
    return numbered;
}

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

}  // namespace

PostgresDatabase::PostgresDatabase(const PostgresTarget& target, const LogDeadline& deadline) {
    const std::string port = std::to_string(target.port);
    const std::string connectSeconds = std::to_string(
        std::max<long long>(2, std::chrono::ceil<std::chrono::seconds>(deadline.Bound()).count()));
    // Each value is a parameter of its own: nothing in the address can add another. The
    // server's own timeouts free its side too; the client's waits are bounded below.
    std::vector<std::pair<const char*, std::string>> parameters = {
        {"host", target.host},
        {"port", port},
        {"dbname", target.database},
        {"user", target.user},
        {"connect_timeout", connectSeconds},
        {"keepalives", "1"},
        {"keepalives_idle", "10"},
        {"keepalives_interval", "5"},
        {"keepalives_count", "3"},
        {"tcp_user_timeout", "15000"},
        {"application_name", "vantrel"},
        {"client_encoding", "UTF8"},
        {"options", "-c statement_timeout=5000 -c lock_timeout=2000"},
    };
    if (!target.password.empty()) {
        parameters.emplace_back("password", target.password);
    }
    if (!target.sslMode.empty()) {
        parameters.emplace_back("sslmode", target.sslMode);
    }
    if (!target.sslRootCert.empty()) {
        parameters.emplace_back("sslrootcert", target.sslRootCert);
    }
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [key, value] : parameters) {
        if (!value.empty()) {
            keys.push_back(key);
            values.push_back(value.c_str());
        }
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    connection_ = PQconnectStartParams(keys.data(), values.data(), 0);
    if (connection_ == nullptr) {
        throw RunLogError(LogFailure::Database, "out of memory for a database connection");
    }
    if (PQstatus(connection_) == CONNECTION_BAD) {
        Fail(OneLine(PQerrorMessage(connection_)));
    }
    // As libpq asks: wait for the socket to take the first bytes, then as each step says.
    for (PostgresPollingStatusType step = PGRES_POLLING_WRITING;;) {
        if (step == PGRES_POLLING_OK) {
            if (PQsetnonblocking(connection_, 1) != 0) {
                Fail(OneLine(PQerrorMessage(connection_)));
            }
            return;
        }
        if (step == PGRES_POLLING_FAILED) {
            Fail(OneLine(PQerrorMessage(connection_)));
        }
        WaitFor(step == PGRES_POLLING_READING ? Direction::Read : Direction::Write, deadline);
        step = PQconnectPoll(connection_);
    }
}

PostgresDatabase::~PostgresDatabase() {
    // Non-blocking: a goodbye the server cannot take now is not waited for.
    PQfinish(connection_);
}

void PostgresDatabase::Fail(const std::string& text) {
    PQfinish(connection_);
    connection_ = nullptr;
    throw RunLogError(LogFailure::Database, text);
}

void PostgresDatabase::WaitFor(Direction direction, const LogDeadline& deadline) {
    for (;;) {
        try {
            deadline.Check(kServer);
        } catch (...) {
            PQfinish(connection_);
            connection_ = nullptr;
            throw;
        }
        pollfd watched{PQsocket(connection_),
                       static_cast<short>(direction == Direction::Read ? POLLIN : POLLOUT), 0};
        const int ready = poll(&watched, 1, static_cast<int>(deadline.NextSlice().count()));
        if (ready > 0) {
            return;
        }
        if (ready < 0 && errno != EINTR) {
            Fail(std::string("cannot wait for the database server: ") + std::strerror(errno));
        }
    }
}

std::vector<SqlRow> PostgresDatabase::Run(const std::string& sql,
                                          const std::vector<SqlValue>& values,
                                          const LogDeadline& deadline) {
    if (connection_ == nullptr) {
        throw RunLogError(LogFailure::Database, "the database connection was lost");
    }
    std::vector<std::string> texts;
    texts.reserve(values.size());
    std::vector<const char*> pointers;
    for (const SqlValue& value : values) {
        if (const auto* number = std::get_if<std::int64_t>(&value)) {
            texts.push_back(std::to_string(*number));
        } else if (const auto* text = std::get_if<std::string>(&value)) {
            texts.push_back(*text);
        } else {
            texts.emplace_back();
        }
        pointers.push_back(std::holds_alternative<std::monostate>(value) ? nullptr
                                                                         : texts.back().c_str());
    }
    if (PQsendQueryParams(connection_, NumberedParameters(sql).c_str(),
                          static_cast<int>(pointers.size()), nullptr, pointers.data(), nullptr,
                          nullptr, 0) == 0) {
        Fail(OneLine(PQerrorMessage(connection_)));
    }
    for (int pending = PQflush(connection_); pending != 0; pending = PQflush(connection_)) {
        if (pending < 0) {
            Fail(OneLine(PQerrorMessage(connection_)));
        }
        WaitFor(Direction::Write, deadline);
    }
    std::vector<SqlRow> rows;
    std::string error;
    for (;;) {
        while (PQisBusy(connection_) != 0) {
            WaitFor(Direction::Read, deadline);
            if (PQconsumeInput(connection_) == 0) {
                Fail(OneLine(PQerrorMessage(connection_)));
            }
        }
        const Result result(PQgetResult(connection_));
        if (!result) {
            break;
        }
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_TUPLES_OK) {
            for (int row = 0; row < PQntuples(result.get()); ++row) {
                SqlRow cells;
                for (int column = 0; column < PQnfields(result.get()); ++column) {
                    cells.push_back(
                        PQgetisnull(result.get(), row, column) != 0
                            ? std::nullopt
                            : std::optional<std::string>(PQgetvalue(result.get(), row, column)));
                }
                rows.push_back(std::move(cells));
            }
        } else if (status != PGRES_COMMAND_OK && error.empty()) {
            error = OneLine(PQresultErrorMessage(result.get()));
        }
    }
    if (!error.empty()) {
        throw RunLogError(LogFailure::Database, error);
    }
    return rows;
}

void PostgresDatabase::BeginWriting(const LogDeadline& deadline) {
    Run("BEGIN", {}, deadline);
}

void PostgresDatabase::Commit(const LogDeadline& deadline) {
    Run("COMMIT", {}, deadline);
}

void PostgresDatabase::Abandon() noexcept {
    // A rollback would wait for the server; closing ends the transaction on its side.
    PQfinish(connection_);
    connection_ = nullptr;
}

}  // namespace vantrel
