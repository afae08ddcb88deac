#pragma once
// A query that records every statement it is given and answers from a
// script instead of a server: an in-memory dataset whose Open() serves the
// rows scripted for its SQL text, and a connection that only keeps its
// open state. Statements without a script fail like a server error.

#include "platform/data/MemDataSet.h"
#include "query/Database.h"

#include <QStringList>

#include <algorithm>
#include <map>
#include <vector>

// Text columns `names`, one row per entry of `rows`.
inline TColumnStore TextRows(const QStringList& names, const std::vector<QStringList>& rows)
{
    std::vector<TFieldDef> defs;
    for (const QString& n : names)
        defs.push_back({n, ftString, 128, 0, 0, false});
    TColumnStore store;
    store.Reset(defs);
    for (const QStringList& row : rows)
        for (int i = 0; i < names.size(); ++i)
            store.Column(i).AppendBytes(row.value(i).toStdString());
    return store;
}

class TRecordingQuery : public TMemDataSet, public TDbQuery {
public:
    explicit TRecordingQuery(QString name = QStringLiteral("qrySqlDop")) : TMemDataSet(std::move(name)) {}

    void SetConnection(TDbConnection* connection) override { m_connection = connection; }
    [[nodiscard]] TDbConnection* Connection() const override { return m_connection; }
    void SetSQL(const QString& sql) override { m_sql = sql; }
    [[nodiscard]] QString SQL() const override { return m_sql; }
    void SetCommandTimeout(int seconds) override { m_timeout = seconds; }
    [[nodiscard]] int CommandTimeout() const override { return m_timeout; }

    // Open() of `sql` gives `rows`.
    void Answer(const QString& sql, TColumnStore rows) { m_answers[sql] = std::move(rows); }
    // Open() or ExecSQL() of `sql` raises EDatabaseError(`message`).
    void Refuse(const QString& sql, const QString& message) { m_refusals[sql] = message; }
    // ExecSQL() of `sql` succeeds (others without a script fail).
    void Accept(const QString& sql) { m_accepted.push_back(sql); }

    // "open <sql>" and "exec <sql>", in order.
    QStringList log;

    long long ExecSQL() override
    {
        log.push_back(QStringLiteral("exec ") + SQL());
        CheckRefused();
        if (std::find(m_accepted.begin(), m_accepted.end(), SQL()) == m_accepted.end())
            throw EDatabaseError(QStringLiteral("no script for: ") + SQL());
        return 0;
    }

protected:
    void InternalOpen(TColumnStore& store) override
    {
        log.push_back(QStringLiteral("open ") + SQL());
        CheckRefused();
        const auto it = m_answers.find(SQL());
        if (it == m_answers.end())
            throw EDatabaseError(QStringLiteral("no script for: ") + SQL());
        store = it->second;
    }

private:
    void CheckRefused() const
    {
        if (const auto it = m_refusals.find(SQL()); it != m_refusals.end())
            throw EDatabaseError(it->second);
    }

    std::map<QString, TColumnStore> m_answers;
    std::map<QString, QString> m_refusals;
    std::vector<QString> m_accepted;
    TDbConnection* m_connection = nullptr;
    QString m_sql;
    int m_timeout = 30;
};
