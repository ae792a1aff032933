// The run log's rules that need no database: names, addresses, files of the state folder.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "runlog/LocalFiles.h"
#include "runlog/LogTarget.h"
#include "runlog/NameRules.h"
#include "runlog/RunLogError.h"

namespace vantrel {
namespace {

TEST(NameRulesTest, ANameIsNonEmptyUtf8WithoutControlCharacters) {
    for (const char* good : {"line1-st3", "Prüfplatz 3", "站 3", "𝔸", "a b"}) {
        EXPECT_EQ(NameFault(good), std::nullopt) << good;
    }
    for (const auto& [bad, fault] : std::vector<std::pair<std::string, std::string>>{
             {"", "is empty"},
             {"st\xff", "is not valid UTF-8"},
             {"\xc0\xaf", "is not valid UTF-8"},          // an overlong '/'
             {"\xed\xa0\x80", "is not valid UTF-8"},      // a surrogate
             {"\xf4\x90\x80\x80", "is not valid UTF-8"},  // past U+10FFFF
             {"\xe2\x82", "is not valid UTF-8"},          // cut short
             {"a\nb", "holds a control character (a line break, a tab, ...)"},
             {"a\tb", "holds a control character (a line break, a tab, ...)"},
             {"a\x7f", "holds a control character (a line break, a tab, ...)"},
             {"a\xc2\x85", "holds a control character (a line break, a tab, ...)"},
             {"a\xe2\x80\xa8", "holds a control character (a line break, a tab, ...)"},
         }) {
        EXPECT_EQ(NameFault(bad), fault) << bad;
    }
}

TEST(LogTargetRulesTest, PasswordsStayUnsaidWhateverTheyHoldAndOptionsAreValues) {
    for (const auto& [text, shown] : std::vector<std::pair<std::string, std::string>>{
             {"postgresql://ann:pa/ss@db/trace", "postgresql://ann@db/trace"},
             {"postgresql://ann:p@ss@db/trace", "postgresql://ann@db/trace"},
             {"postgresql://ann:50%off@db/trace", "postgresql://ann@db/trace"},
             {"postgresql://ann:a:b?c@db/trace", "postgresql://ann@db/trace"},
         }) {
        EXPECT_EQ(ShownLogTarget(text), shown);
        const auto parsed = ParseLogTarget(text);
        if (const auto* error = std::get_if<LogTargetError>(&parsed)) {
            EXPECT_EQ(error->text.find(shown), error->text.size() - shown.size()) << error->text;
        }
    }
    const auto spaced = ParseLogTarget("postgresql://ann@db/t?sslrootcert=/etc/line%20ca.pem");
    EXPECT_EQ(std::get<PostgresTarget>(std::get<LogTarget>(spaced)).sslRootCert,
              "/etc/line ca.pem");
    for (const char* refused : {
             "postgresql://ann@db/t?sslmode=disable%20dbname%3Dother",
             "postgresql://ann@db/t?sslmode=VERIFY-FULL",
             "postgresql://ann@db/t?sslmode=require&sslmode=disable",
             "postgresql://ann@db/t?options=-c%20statement_timeout%3D0",
             "postgresql://ann@db/t?sslrootcert=",
         }) {
        EXPECT_TRUE(std::holds_alternative<LogTargetError>(ParseLogTarget(refused))) << refused;
    }
}

TEST(LocalFilesTest, AFileThatCannotBeWrittenSaysWhichAndWhy) {
    QTemporaryDir dir;
    for (const auto& [path, cause] : std::vector<std::pair<QString, std::string>>{
#ifdef _WIN32
             {dir.filePath("file/inside/a/file"), "inside"},
#else
             {QStringLiteral("/dev/full"), "No space left on device"},
             {dir.filePath("file/inside/a/file"), "Not a directory"},
#endif
         }) {
        if (path.startsWith(dir.path())) {
            AppendSynced(dir.filePath("file"), "x");
        }
        try {
            AppendSynced(path, "a record\n");
            ADD_FAILURE() << path.toStdString();
        } catch (const RunLogError& error) {
            EXPECT_EQ(error.Kind(), LogFailure::Disk);
            EXPECT_NE(std::string(error.what()).find(cause), std::string::npos) << error.what();
        }
    }
}

TEST(LocalFilesTest, ALockHeldIsWaitedForWithinTheBoundAndAStopEndsTheWait) {
    QTemporaryDir dir;
    const QString path = dir.filePath("spool.lock");
    const FileLock held = FileLock::Take(path, LogDeadline(LogWaits{}), "the spool");
    EXPECT_FALSE(FileLock::TryTake(path).has_value()) << "one holder at a time";
    std::atomic<bool> stop{false};
    for (const bool stopping : {false, true}) {
        stop.store(stopping);
        try {
            FileLock::Take(path, LogDeadline(LogWaits{std::chrono::milliseconds(200), &stop}),
                           "the spool");
            ADD_FAILURE();
        } catch (const RunLogError& error) {
            EXPECT_EQ(error.Kind(), stopping ? LogFailure::Stopped : LogFailure::NoAnswer);
            EXPECT_EQ(std::string(error.what()),
                      stopping ? "stopped while waiting for the spool"
                               : "the spool stayed locked by another process for more than 0.2 s");
        }
    }
}

}  // namespace
}  // namespace vantrel
