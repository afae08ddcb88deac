// A PostgreSQL server killed in the middle of a fetch, again and again, at a
// different moment each time: every fetch ends in an error, the connection
// reads as lost, and a new one works once the server is back. The server is
// this test's own (scripts/pg-test-server.sh on a free port), never the
// shared one. BQA_PG_CRASHES sets the number of crashes.

#include "tests/data/OdbcTestSupport.h"
#include "tests/support/SilentListener.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

using namespace odbc_test;

namespace {

class TCrashablePgServer {
public:
    TCrashablePgServer() : m_port(TSilentListener().Port()) // a port free a moment ago
    {
        m_started = m_port != 0 && Script("start");
    }
    ~TCrashablePgServer() { (void)Script("stop"); }
    TCrashablePgServer(const TCrashablePgServer&) = delete;
    TCrashablePgServer& operator=(const TCrashablePgServer&) = delete;

    [[nodiscard]] bool Started() const { return m_started; }
    [[nodiscard]] QString ConnectionString() const
    {
        return QStringLiteral("Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=%1;Database=bqa_test;UID=bqa;PWD=")
            .arg(m_port);
    }
    // Runs the test-server script with `command` (start, crash, resume, stop);
    // true when it succeeded. Safe on any thread.
    [[nodiscard]] bool Script(const char* command) const
    {
        const std::string line = "BQA_PG_PORT=" + std::to_string(m_port) + " BQA_PG_DIR=/tmp/bqa-pg-crash-"
            + std::to_string(m_port) + " '" BQA_SOURCE_DIR "/scripts/pg-test-server.sh' " + command;
        return std::system(line.c_str()) == 0;
    }

private:
    int m_port = 0;
    bool m_started = false;
};

int Crashes()
{
    const char* n = std::getenv("BQA_PG_CRASHES");
    return n ? std::max(1, std::atoi(n)) : 20;
}

} // namespace

TEST(OdbcPgCrash, AServerKilledAtAnyMomentOfAFetchEndsItWithAnErrorAndComesBack)
{
    BQA_REQUIRE_PG();
    const TCrashablePgServer server;
    ASSERT_TRUE(server.Started());
    const int crashes = Crashes();
    for (int i = 0; i < crashes; ++i) {
        SCOPED_TRACE(i);
        auto conn = Connect(server.ConnectionString());
        // From the execute to deep into the fetch, in steps that do not
        // repeat the same moment.
        const auto delay = std::chrono::milliseconds(30 + (i * 137) % 700);
        bool crashed = false;
        std::thread killer([&] {
            std::this_thread::sleep_for(delay);
            crashed = server.Script("crash");
        });
        // Blocks of bound rows, and single rows with a long column read in chunks.
        const QString sql = i % 2 == 0
            ? QStringLiteral("select g, md5(g::text)::varchar(32) as h, g * 0.5 as half from generate_series(1, 5000000) g")
            : QStringLiteral("select g, md5(g::text) as h from generate_series(1, 5000000) g");
        const QString error = ErrorOf([&] { (void)OpenQuery(*conn, sql, 0); });
        killer.join();
        ASSERT_TRUE(crashed);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(conn->ConnectionLost()) << error.toStdString();
        conn->Discard();
        ASSERT_TRUE(server.Script("resume"));
        auto again = Connect(server.ConnectionString());
        EXPECT_EQ(OpenQuery(*again, QStringLiteral("select 9 as v"))->Fields(0)->AsVariant().toInt(), 9);
    }
}
