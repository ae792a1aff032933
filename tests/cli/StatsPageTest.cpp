// --stats --html: the page vantrel-cli writes from a real log in SQLite or PostgreSQL.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <set>

#include "runlog/RunLog.h"
#include "tests/cli/PostgresServer.h"
#include "tests/tools/ChildProgram.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testing::ReadText;

// User data that must stay text on the page.
const std::string kOddText = "Force<2>Mon & \"co\"";

// Two stations' runs of one day, one run the day before and one that never finished.
void Fill(const std::string& target) {
    const auto unit = [](const char* port, const char* result,
                         std::optional<std::string> text = {}) -> UnitRecord {
        return {port, std::string("/dev/") + port, {}, {}, result, {}, {}, text, {}};
    };
    const std::pair<const char*, std::vector<UnitRecord>> runs[] = {
        {"st-1 02T09:05", {unit("COM1", "passed"), unit("COM2", "failed", kOddText)}},
        {"st-1 02T09:40", {unit("COM1", "passed"), unit("COM2", "passed")}},
        {"st-1 02T11:10",
         {unit("COM1", "failed", "Erase Failed..."), unit("COM2", "failed", kOddText),
          unit("COM3", "not-flashed")}},
        {"st-2 02T10:00", {unit("COM10", "passed"), unit("COM2", "passed")}},
        {"st-2 02T12:30", {unit("COM1", "unknown"), unit("COM2", "unknown")}},
        {"st-2 01T23:59", {unit("COM1", "failed", "the day before")}},
    };
    RunLog log(std::get<LogTarget>(ParseLogTarget(target)));
    for (const auto& [when, units] : runs) {
        RunRecord run;
        run.key = when;
        run.station = std::string(when).substr(0, 4);
        run.startedAt = "2026-03-" + std::string(when).substr(5) + ":00.000Z";
        const bool running = units[0].result == kUnknownResult;
        run.finishedAt = running ? "" : run.startedAt;
        run.outcome = running ? kRunningOutcome : "completed";
        run.units = units;
        log.Write(run);
    }
}

// The page read as the XML it is too: its titles (the page's, then each bar's tooltip) and the
// table's rows, cells joined by '|'.
std::pair<std::vector<std::string>, std::vector<std::string>> See(const std::string& html) {
    std::vector<std::string> titles, rows;
    QXmlStreamReader xml(QString::fromStdString(html));
    std::string row;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (xml.isStartElement() && (xml.name() == u"td" || xml.name() == u"title")) {
            const bool cell = xml.name() == u"td";
            const std::string text = xml.readElementText().toStdString();
            if (cell) {
                row += "|" + text;
            } else {
                titles.push_back(text);
            }
        } else if (xml.isEndElement() && xml.name() == u"tr" && !row.empty()) {
            rows.push_back(row.substr(1));
            row.clear();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return {titles, rows};
}

class StatsPageTest : public ::testing::TestWithParam<std::string> {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_tests";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            static QCoreApplication app(argc, argv);  // the log's database drivers are plugins
        }
    }
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vantrel-page-test-" + std::to_string(getpid()) + "-" + GetParam());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "work");
        if (GetParam() == "postgresql") {
            if (PostgresServer::BinFolder().empty()) {
                GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup installs it)";
            }
            server_ = std::make_unique<PostgresServer>();
        }
        target_ = server_ ? server_->Url() : Work("station.db");
        Fill(target_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Work(const std::string& name) const { return (dir_ / "work" / name).string(); }
    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), VANTREL_CLI_PATH);
        const auto status = testing::WaitForChild(
            testing::StartProgram(arguments, {dir_ / "stdout", dir_ / "stderr"}), 60s);
        return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
    std::string Err() const { return ReadText(dir_ / "stderr"); }

    fs::path dir_;
    std::unique_ptr<PostgresServer> server_;
    std::string target_;
};

TEST_P(StatsPageTest, ThePageShowsTheLogsFiguresAndLoadsNothing) {
    std::string target = target_;
    if (server_) {
        target.insert(target.find('@'), ":s3cret");  // trusted here, but never to be shown
    }
    const std::string page = Work("yield.html");
    ASSERT_EQ(Run({"--stats", target, "--since", "2026-03-02", "--html", page}), 0) << Err();
    EXPECT_EQ(Err() + ReadText(dir_ / "stdout"), "");

    const std::string html = ReadText(page);
    const auto [titles, rows] = See(html);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(titles[0], "Vantrel stats: " + target_ + ", runs since 2026-03-02 00:00 UTC");
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "st-1|COM1|2|1|66.7%|Erase Failed... (1)",
                        "st-1|COM2|1|2|33.3%|" + kOddText + " (2)",
                        "st-1|all|3|3|50.0%|" + kOddText + " (2), Erase Failed... (1)",
                        "st-2|COM1|0|0|-|",
                        "st-2|COM2|1|0|100.0%|",
                        "st-2|COM10|1|0|100.0%|",
                        "st-2|all|2|0|100.0%|",
                        "st-2: 2 unit(s) of runs that did not finish, possibly erased and not "
                        "flashed",
                    }));
    const std::set<std::string> tips(titles.begin() + 1, titles.end());
    for (const std::string& tip : std::vector<std::string>{
             "st-1 COM2: 33.3% yield, 1 passed, 2 failed", "st-2 COM1: 0 passed, 0 failed",
             "st-1 all ports: 50.0% yield, 3 passed, 3 failed", "st-1 COM1: Erase Failed... (1)",
             "st-1 COM2: " + kOddText + " (2)", "2026-03-02 09:00 UTC: 3 passed, 1 failed",
             "2026-03-02 10:00 UTC: 2 passed, 0 failed",
             "2026-03-02 11:00 UTC: 0 passed, 2 failed"}) {
        EXPECT_EQ(tips.count(tip), 1u) << tip;
    }
    EXPECT_NE(html.find("Force&lt;2&gt;Mon &amp; &quot;co&quot;"), std::string::npos);
    EXPECT_NE(html.find("content=\"default-src 'none';"), std::string::npos);
    // Nothing from outside the page, of the day before, of the run that never finished.
    for (const char* absent :
         {"http:", "https:", "src=", "href=", "url(", "@import", "<script", "s3cret",
          kOddText.c_str(), "the day before", "2026-03-01 23:00", "12:00 UTC:"}) {
        EXPECT_EQ(html.find(absent), std::string::npos) << absent;
    }
}

TEST_P(StatsPageTest, APageThatCannotBeMadeSaysWhyAndLeavesNothing) {
    fs::create_directory(Work("folder.html"));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--stats", Work("none.db"), "--html", Work("p.html")},
         "vantrel-cli: cannot read the log " + Work("none.db") +
             ": no such log file: " + Work("none.db") + "; " + Work("p.html") + " not written\n"},
        {{"--stats", target_, "--html", Work("folder.html")},
         "vantrel-cli: cannot write " + Work("folder.html") + ": "},
        {{"--stats", target_, "--html", Work("none/p.html")},
         "vantrel-cli: cannot write " + Work("none/p.html") + ": "},
    };
    for (const auto& [arguments, message] : refused) {
        std::set<fs::path> before(fs::directory_iterator(dir_ / "work"), {});
        EXPECT_EQ(Run(arguments), 2) << Err();
        const std::string err = Err();
        EXPECT_EQ(err.substr(0, message.size()), message);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(dir_ / "work"), {}), before);
    }
}

TEST_P(StatsPageTest, ABrowserDrawsTheChartsAndTheTableUnderThePagesOwnPolicy) {
    if (!fs::exists("/usr/bin/chromium")) {
        GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
    }
    const std::string page = Work("yield.html");
    ASSERT_EQ(Run({"--stats", target_, "--since", "2026-03-02", "--html", page}), 0) << Err();
    const pid_t browser = testing::StartProgram(
        {"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
         "--user-data-dir=" + (dir_ / "profile").string(), "--enable-logging=stderr", "--v=0",
         "--dump-dom", "file://" + page},
        {dir_ / "dom", dir_ / "browser"}, testing::EnvironmentWith({"HOME=" + dir_.string()}));
    const auto status = testing::WaitForChild(browser, 240s);
    if (!status) {
        kill(browser, SIGKILL);
        waitpid(browser, nullptr, 0);
    }
    const std::string dom = ReadText(dir_ / "dom"), console = ReadText(dir_ / "browser");
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << console;
    for (const char* drawn : {"<svg viewBox", "<title>2026-03-02 09:00 UTC: 3 passed, 1 failed"}) {
        EXPECT_NE(dom.find(drawn), std::string::npos) << drawn << "\n" << dom;
    }
    EXPECT_NE(dom.find("<td>st-1</td><td>COM2</td><td class=\"n\">1</td><td class=\"n\">2</td>"
                       "<td class=\"n\">33.3%</td>"),
              std::string::npos)
        << dom;
    // Whatever the page's policy refused would be told on the console.
    EXPECT_EQ(console.find("Content Security Policy"), std::string::npos) << console;
}

INSTANTIATE_TEST_SUITE_P(Store, StatsPageTest, ::testing::Values("sqlite", "postgresql"));

}  // namespace
}  // namespace vantrel
