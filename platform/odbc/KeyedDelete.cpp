#include "platform/odbc/KeyedDelete.h"

#include <QStringList>

#include <algorithm>

namespace {

TDeleteRefusal Refuse(const QString& reason)
{
    return TDeleteRefusal{QStringLiteral("Запись нельзя удалить: ") + reason};
}

bool SameTable(const TColumnSource& a, const TColumnSource& b)
{
    return a.schema == b.schema && a.table == b.table;
}

} // namespace

QString QuoteSqlName(const QString& name, TNameQuoting quoting)
{
    QString out = name;
    if (quoting == TNameQuoting::Brackets)
        return QLatin1Char('[') + out.replace(QLatin1Char(']'), QLatin1String("]]")) + QLatin1Char(']');
    return QLatin1Char('"') + out.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

std::optional<TColumnSource> SingleSourceTable(const std::vector<TColumnSource>& sources)
{
    std::optional<TColumnSource> table;
    for (const TColumnSource& s : sources) {
        if (s.table.isEmpty())
            continue;
        if (!table)
            table = TColumnSource{s.schema, s.table, QString()};
        else if (!SameTable(*table, s))
            return std::nullopt;
    }
    return table;
}

TDeleteDecision PlanKeyedDelete(const std::vector<TColumnSource>& sources, const std::vector<TTableKey>& keys,
                                TNameQuoting quoting)
{
    const bool anyTable = std::any_of(sources.begin(), sources.end(),
                                      [](const TColumnSource& s) { return !s.table.isEmpty(); });
    if (!anyTable)
        return Refuse(QStringLiteral("не известно, из какой таблицы она взята."));
    const std::optional<TColumnSource> table = SingleSourceTable(sources);
    if (!table)
        return Refuse(QStringLiteral("в результате столбцы из нескольких таблиц."));

    // The result column holding `column` of the table itself (not an expression).
    auto fieldOf = [&](const QString& column) -> int {
        for (std::size_t i = 0; i < sources.size(); ++i)
            if (!sources[i].table.isEmpty() && sources[i].column == column)
                return static_cast<int>(i);
        return -1;
    };

    QString missing;
    for (const TTableKey& key : keys) {
        if (key.empty())
            continue;
        std::vector<int> fields;
        for (const QString& column : key) {
            const int f = fieldOf(column);
            if (f < 0) {
                if (missing.isEmpty())
                    missing = column;
                fields.clear();
                break;
            }
            fields.push_back(f);
        }
        if (fields.empty())
            continue;

        TKeyedDeletePlan plan{table->schema, table->table, fields, QString()};
        QString target = QuoteSqlName(table->table, quoting);
        if (!table->schema.isEmpty())
            target = QuoteSqlName(table->schema, quoting) + QLatin1Char('.') + target;
        QStringList terms;
        for (const QString& column : key)
            terms << QuoteSqlName(column, quoting) + QStringLiteral(" = ?");
        plan.statement = QStringLiteral("DELETE FROM ") + target + QStringLiteral(" WHERE ")
            + terms.join(QStringLiteral(" AND "));
        return plan;
    }
    if (!missing.isEmpty())
        return Refuse(QStringLiteral("в результате нет столбца ключа %1 таблицы %2.").arg(missing, table->table));
    return Refuse(QStringLiteral("у таблицы %1 нет первичного ключа или уникального индекса.").arg(table->table));
}

std::optional<TDeleteRefusal> CheckKeyValues(const std::vector<QVariant>& values)
{
    for (const QVariant& v : values)
        if (!v.isValid() || v.isNull())
            return Refuse(QStringLiteral("значение её ключа пусто (NULL)."));
    return std::nullopt;
}

TDeleteRefusal NoRowDeletedRefusal()
{
    return TDeleteRefusal{QStringLiteral(
        "Запись не удалена: другой пользователь уже изменил или удалил её. Изменения отменены.")};
}

TDeleteRefusal ManyRowsDeletedRefusal(long long rows)
{
    return TDeleteRefusal{QStringLiteral(
        "Запись не удалена: ключ таблицы не уникален, под него подошло строк: %1. Изменения отменены.")
                              .arg(rows)};
}

QString DescribeFirstResultSetStatement(const QString& sql)
{
    QString literal = sql;
    literal.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("exec sp_describe_first_result_set @tsql = N'") + literal
        + QStringLiteral("', @params = NULL, @browse_information_mode = 1");
}

TDeleteDecision PlanKeyedDeleteFromDescription(const std::vector<TDescribedResultColumn>& rows)
{
    std::vector<TColumnSource> sources;
    for (const TDescribedResultColumn& r : rows)
        if (!r.isHidden)
            sources.push_back(TColumnSource{r.sourceSchema, r.sourceTable, r.sourceColumn});
    TTableKey key;
    if (const std::optional<TColumnSource> table = SingleSourceTable(sources)) {
        for (const TDescribedResultColumn& r : rows) {
            const TColumnSource s{r.sourceSchema, r.sourceTable, r.sourceColumn};
            if (r.isPartOfUniqueKey && SameTable(*table, s) && !s.column.isEmpty()
                && std::find(key.begin(), key.end(), s.column) == key.end())
                key.push_back(s.column);
        }
    }
    return PlanKeyedDelete(sources, {key}, TNameQuoting::Brackets);
}
