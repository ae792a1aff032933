// --stats --html: the page vantrel-cli writes from a real log, read back as a whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <map>
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

UnitRecord Unit(const char* port, const char* result, std::optional<std::string> text = {}) {
    return {port, std::string("/dev/") + port, {}, {}, result, {}, {}, text, {}};
}

// What a reader finds on the page: its title, the table's rows, each chart's tooltips.
struct PageSeen {
    std::string title;
    std::vector<std::string> rows;  // cells joined by '|'
    std::map<std::string, std::set<std::string>> tips;
    std::string error;
};

PageSeen See(const std::string& html) {
    PageSeen seen;
    QXmlStreamReader xml(QString::fromStdString(html));  // the page is well-formed XML too
    std::string chart;
    std::vector<std::string> cells;
    int depth = 0, chartDepth = 0;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (xml.isStartElement()) {
            ++depth;
            const QString id = xml.attributes().value("id").toString();
            if (id == "yield" || id == "hours" || id == "failures") {
                chart = id.toStdString();
                chartDepth = depth;
            }
            const bool cell = xml.name() == u"td", title = xml.name() == u"title";
            if (cell || title) {
                const auto text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                --depth;
                if (cell) {
                    cells.push_back(text.toStdString());
                } else if (chart.empty()) {
                    seen.title = text.toStdString();
                } else {
                    seen.tips[chart].insert(text.toStdString());
                }
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == u"tr" && !cells.empty()) {
                std::string row;
                for (const std::string& c : cells) {
                    row += (&c == &cells.front() ? "" : "|") + c;
                }
                seen.rows.push_back(row);
                cells.clear();
            }
            if (depth-- == chartDepth) {
                chart.clear();
            }
        }
    }
    seen.error = xml.hasError() ? xml.errorString().toStdString() : "";
    return seen;
}

class StatsPageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "cli_tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);  // the log's database drivers are plugins
    }
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vantrel-page-test-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "work");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Work(const std::string& name) const { return (dir_ / "work" / name).string(); }
    int Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {VANTREL_CLI_PATH};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const auto status = testing::WaitForChild(
            testing::StartProgram(argv, {dir_ / "stdout", dir_ / "stderr"}), 60s);
        return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
    std::string Err() const { return ReadText(dir_ / "stderr"); }

    // Two stations' runs of one day, one run the day before and one that never finished.
    static void Fill(const std::string& target) {
        struct Run {
            const char* station;
            const char* started;  // day and time in March 2026
            std::vector<UnitRecord> units;
        };
        // clang-format off
        const Run runs[] = {
            {"st-1", "02T09:05", {Unit("COM1", "passed"), Unit("COM2", "failed", kOddText)}},
            {"st-1", "02T09:40", {Unit("COM1", "passed"), Unit("COM2", "passed")}},
            {"st-1", "02T11:10", {Unit("COM1", "failed", "Erase Failed..."),
                                  Unit("COM2", "failed", kOddText), Unit("COM3", "not-flashed")}},
            {"st-2", "02T10:00", {Unit("COM10", "passed"), Unit("COM2", "passed")}},
            {"st-2", "02T12:30", {Unit("COM1", "unknown"), Unit("COM2", "unknown")}},
            {"st-2", "01T23:59", {Unit("COM1", "failed", "the day before")}},
        };
        // clang-format on
        RunLog log(std::get<LogTarget>(ParseLogTarget(target)));
        for (const Run& run : runs) {
            RunRecord record;
            record.startedAt = std::string("2026-03-") + run.started + ":00.000Z";
            record.key = run.station + record.startedAt;
            const bool running = run.units[0].result == kUnknownResult;
            record.finishedAt = running ? "" : record.startedAt;
            record.station = run.station;
            record.outcome = running ? kRunningOutcome : "completed";
            record.units = run.units;
            log.Write(record);
        }
    }

    fs::path dir_;
};

class StatsPageLogTest : public StatsPageTest, public ::testing::WithParamInterface<std::string> {
  protected:
    void SetUp() override {
        StatsPageTest::SetUp();
        if (GetParam() == "postgresql") {
            if (PostgresServer::BinFolder().empty()) {
                GTEST_SKIP() << "PostgreSQL is not installed (scripts/setup installs it)";
            }
            server_ = std::make_unique<PostgresServer>();
        }
    }
    std::unique_ptr<PostgresServer> server_;
};

TEST_P(StatsPageLogTest, ThePageShowsTheLogsFiguresAndLoadsNothing) {
    std::string target = server_ ? server_->Url() : Work("station.db");
    const std::string shown = target;
    Fill(target);
    if (server_) {
        target.insert(target.find('@'), ":s3cret");  // trusted here, but never to be shown
    }
    const std::string page = Work("yield.html");
    ASSERT_EQ(Run({"--stats", target, "--since", "2026-03-02", "--html", page}), 0) << Err();
    EXPECT_EQ(Err() + ReadText(dir_ / "stdout"), "");

    const std::string html = ReadText(page);
    const PageSeen seen = See(html);
    ASSERT_EQ(seen.error, "");
    EXPECT_EQ(seen.title, "Vantrel stats: " + shown + ", runs since 2026-03-02 00:00 UTC");
    EXPECT_EQ(seen.rows, (std::vector<std::string>{
                             "st-1|COM1|2|1|66.7%|Erase Failed... (1)",
                             "st-1|COM2|1|2|33.3%|" + kOddText + " (2)",
                             "st-1|all|3|3|50.0%|" + kOddText + " (2), Erase Failed... (1)",
                             "st-2|COM1|0|0|-|",
                             "st-2|COM2|1|0|100.0%|",
                             "st-2|COM10|1|0|100.0%|",
                             "st-2|all|2|0|100.0%|",
                             "st-2: 2 unit(s) of runs that did not finish, possibly erased and "
                             "not flashed",
                         }));
    auto tips = seen.tips;
    EXPECT_EQ(tips["yield"].count("st-1 COM2: 33.3% yield, 1 passed, 2 failed"), 1u);
    EXPECT_EQ(tips["yield"].count("st-1 all ports: 50.0% yield, 3 passed, 3 failed"), 1u);
    EXPECT_EQ(tips["yield"].count("st-2 COM1: 0 passed, 0 failed"), 1u);
    EXPECT_EQ(tips["hours"], (std::set<std::string>{"2026-03-02 09:00 UTC: 3 passed, 1 failed",
                                                    "2026-03-02 10:00 UTC: 2 passed, 0 failed",
                                                    "2026-03-02 11:00 UTC: 0 passed, 2 failed"}));
    EXPECT_EQ(tips["failures"], (std::set<std::string>{"st-1 COM1: Erase Failed... (1)",
                                                       "st-1 COM2: " + kOddText + " (2)"}));

    EXPECT_NE(html.find("Force&lt;2&gt;Mon &amp; &quot;co&quot;"), std::string::npos);
    EXPECT_NE(html.find("content=\"default-src 'none';"), std::string::npos);
    for (const char* outside : {"http:", "https:", "src=", "href=", "url(", "@import", "<script",
                                "s3cret", "the day before", kOddText.c_str()}) {
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, StatsPageLogTest, ::testing::Values("sqlite", "postgresql"));

TEST_F(StatsPageTest, APageThatCannotBeMadeSaysWhyAndLeavesNothing) {
    const std::string log = Work("station.db");
    Fill(log);
    fs::create_directory(Work("folder.html"));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--stats", Work("none.db"), "--html", Work("p.html")},
         "vantrel-cli: cannot read the log " + Work("none.db") +
             ": no such log file: " + Work("none.db") + "; " + Work("p.html") + " not written\n"},
        {{"--stats", log, "--html", Work("folder.html")},
         "vantrel-cli: cannot write " + Work("folder.html") + ": "},
        {{"--stats", log, "--html", Work("none/p.html")},
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

TEST_F(StatsPageTest, ABrowserDrawsTheChartsAndTheTableUnderThePagesOwnPolicy) {
    if (!fs::exists("/usr/bin/chromium")) {
        GTEST_SKIP() << "chromium is not installed (scripts/setup installs it)";
    }
    const std::string log = Work("station.db"), page = Work("yield.html");
    Fill(log);
    ASSERT_EQ(Run({"--stats", log, "--since", "2026-03-02", "--html", page}), 0) << Err();
    // A profile of its own: no other browser's lock or state comes in.
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
    ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << ReadText(dir_ / "browser");
    const std::string dom = ReadText(dir_ / "dom");
    std::size_t charts = 0;
    for (auto at = dom.find("<svg "); at != std::string::npos; at = dom.find("<svg ", at + 1)) {
        ++charts;
    }
    EXPECT_EQ(charts, 5u) << "yield, two stations' hours, two ports' failures\n" << dom;
    EXPECT_NE(dom.find("<td>st-1</td><td>COM2</td><td class=\"n\">1</td><td class=\"n\">2</td>"
                       "<td class=\"n\">33.3%</td>"),
              std::string::npos)
        << dom;
    // What the page's policy refused would be told on the console.
    EXPECT_EQ(ReadText(dir_ / "browser").find("Content Security Policy"), std::string::npos)
        << ReadText(dir_ / "browser");
}

}  // namespace
}  // namespace vantrel
