// The dataset contract over ODBC queries: SQLite3 on a temporary file and
// PostgreSQL (BQA_PG_CONN; each subject has its own connection and a
// temporary table).

#include "tests/data/OdbcTestSupport.h"
#include "tests/data/DataSetContract.h"

#include <QSet>

#include <algorithm>

using namespace odbc_test;

namespace {

QString SqlLiteral(const QVariant& v, TFieldType type)
{
    if (!v.isValid())
        return QStringLiteral("null");
    if (type == ftInteger)
        return QString::number(v.toLongLong());
    QString s = v.toString();
    s.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

// Creates `table` as the table t on `conn` (temporary when asked) and returns
// the closed query that selects it in row order.
std::unique_ptr<TOdbcQuery> Fill(TOdbcConnection& conn, const TContractTable& table,
                                 const TContractOptions& options, bool temporary, const QString& orderBy)
{
    QStringList columns, names;
    for (const TContractColumn& c : table.columns) {
        const QString quoted = QLatin1Char('"') + c.name + QLatin1Char('"');
        names << quoted;
        columns << quoted + (c.type == ftInteger ? QStringLiteral(" integer")
                                                 : QStringLiteral(" varchar(%1)").arg(std::max(c.size, 1)));
    }
    Exec(conn, QStringLiteral("create %1table t(%2)")
                   .arg(temporary ? QStringLiteral("temporary ") : QString(), columns.join(QStringLiteral(", "))));
    for (const auto& row : table.rows) {
        QStringList values;
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            values << SqlLiteral(i < row.size() ? row[i] : QVariant(), table.columns[i].type);
        Exec(conn, QStringLiteral("insert into t values(%1)").arg(values.join(QStringLiteral(", "))));
    }
    // A delete is written to the table by a unique key: distinct ids make one
    // (an index, so that the row order stays the insertion order).
    const auto idColumn = std::find_if(table.columns.begin(), table.columns.end(),
                                       [](const TContractColumn& c) { return c.name == QLatin1String("id"); });
    if (idColumn != table.columns.end()) {
        const std::size_t at = static_cast<std::size_t>(idColumn - table.columns.begin());
        QSet<qlonglong> ids;
        bool distinct = true;
        for (const auto& row : table.rows) {
            if (at >= row.size() || !row[at].isValid() || ids.contains(row[at].toLongLong())) {
                distinct = false;
                break;
            }
            ids.insert(row[at].toLongLong());
        }
        if (distinct)
            Exec(conn, QStringLiteral("create unique index t_id on t(\"id\")"));
    }
    auto q = std::make_unique<TOdbcQuery>(options.name, &conn);
    q->SetSQL(QStringLiteral("select %1 from t order by %2").arg(names.join(QStringLiteral(", ")), orderBy));
    q->SetReadOnly(options.readOnly);
    return q;
}

struct TSqliteKeep {
    TSqliteDb db;
    std::unique_ptr<TOdbcConnection> conn;
};

struct TOdbcSqliteFactory {
    static QString Unavailable() { return {}; }
    static TContractSubject Make(const TContractTable& table, const TContractOptions& options)
    {
        auto keep = std::make_shared<TSqliteKeep>();
        keep->conn = Connect(keep->db.ConnectionString());
        TContractSubject s;
        s.dataSet = Fill(*keep->conn, table, options, false, QStringLiteral("rowid"));
        s.keepAlive = keep;
        return s;
    }
};

struct TOdbcPgFactory {
    static QString Unavailable()
    {
        if (!PgConnectionString().isEmpty())
            return {};
        if (RunningInCi())
            ADD_FAILURE() << "BQA_PG_CONN is not set";
        return QStringLiteral("BQA_PG_CONN is not set");
    }
    static TContractSubject Make(const TContractTable& table, const TContractOptions& options)
    {
        std::shared_ptr<TOdbcConnection> conn = ConnectPg();
        // A heap only ever inserted into keeps its rows in insertion order.
        TContractSubject s;
        s.dataSet = Fill(*conn, table, options, true, QStringLiteral("ctid"));
        s.keepAlive = conn;
        return s;
    }
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(OdbcSqlite, DataSetContract, ::testing::Types<TOdbcSqliteFactory>);
INSTANTIATE_TYPED_TEST_SUITE_P(OdbcPg, DataSetContract, ::testing::Types<TOdbcPgFactory>);
