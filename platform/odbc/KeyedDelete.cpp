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
    return a.catalog == b.catalog && a.schema == b.schema && a.table == b.table;
}

QString QuotedTarget(const TColumnSource& table, TNameQuoting quoting)
{
    QStringList parts;
    if (!table.catalog.isEmpty())
        parts << QuoteSqlName(table.catalog, quoting);
    // A catalog without a schema: the default schema of that database
    // ("db..t") where names are bracketed, the attached database ("db.t")
    // where they are not.
    if (!table.schema.isEmpty())
        parts << QuoteSqlName(table.schema, quoting);
    else if (!parts.isEmpty() && quoting == TNameQuoting::Brackets)
        parts << QString();
    parts << QuoteSqlName(table.table, quoting);
    return parts.join(QLatin1Char('.'));
}

} // namespace

QString QuoteSqlName(const QString& name, TNameQuoting quoting)
{
    QString out = name;
    if (quoting == TNameQuoting::Brackets)
        return QLatin1Char('[') + out.replace(QLatin1Char(']'), QLatin1String("]]")) + QLatin1Char(']');
    return QLatin1Char('"') + out.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

bool ComparesExactly(TFieldType type)
{
    switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftLargeint: case ftAutoInc:
    case ftBCD: case ftBoolean: case ftDate:
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
        return true;
    default:
        return false;
    }
}

std::optional<TColumnSource> SingleSourceTable(const std::vector<TColumnSource>& sources)
{
    std::optional<TColumnSource> table;
    for (const TColumnSource& s : sources) {
        if (s.table.isEmpty())
            continue;
        if (!table)
            table = TColumnSource{s.schema, s.table, QString(), s.catalog};
        else if (!SameTable(*table, s))
            return std::nullopt;
    }
    return table;
}

QString DeleteStatement(const TKeyedDeletePlan& plan, const std::vector<bool>& isNull)
{
    QStringList terms;
    for (std::size_t i = 0; i < plan.terms.size(); ++i) {
        const bool null = i < isNull.size() && isNull[i];
        terms << QuoteSqlName(plan.terms[i].column, plan.quoting)
                + (null ? QStringLiteral(" IS NULL") : QStringLiteral(" = ?"));
    }
    return QStringLiteral("DELETE FROM ") + plan.target + QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

TDeleteDecision PlanKeyedDelete(const std::vector<TColumnSource>& sources, const std::vector<TTableKey>& keys,
                                TNameQuoting quoting, const std::vector<TFieldType>& types)
{
    const bool anyTable = std::any_of(sources.begin(), sources.end(),
                                      [](const TColumnSource& s) { return !s.table.isEmpty(); });
    if (!anyTable)
        return Refuse(QStringLiteral("неизвестно, из какой таблицы она взята."));
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

        TKeyedDeletePlan plan;
        plan.catalog = table->catalog;
        plan.schema = table->schema;
        plan.table = table->table;
        plan.target = QuotedTarget(*table, quoting);
        plan.keyFields = fields;
        plan.quoting = quoting;
        for (std::size_t i = 0; i < key.size(); ++i)
            plan.terms.push_back(TDeleteTerm{fields[i], key[i]});
        // Every other shown column of the table, each table column once.
        for (std::size_t i = 0; i < sources.size() && i < types.size(); ++i) {
            const TColumnSource& s = sources[i];
            if (s.table.isEmpty() || s.column.isEmpty() || !ComparesExactly(types[i]))
                continue;
            const bool known = std::any_of(plan.terms.begin(), plan.terms.end(),
                                           [&](const TDeleteTerm& t) { return t.column == s.column; });
            if (!known)
                plan.terms.push_back(TDeleteTerm{static_cast<int>(i), s.column});
        }
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

TDeleteRefusal RepeatedKeyRefusal()
{
    return Refuse(QStringLiteral(
        "в результате есть другая строка с тем же ключом, поэтому неясно, какую строку таблицы она показывает."));
}

TDeleteRefusal UserTransactionRefusal()
{
    return Refuse(QStringLiteral(
        "на соединении открыта транзакция, начатая в редакторе. Удаление завершило бы её; "
        "сначала выполните COMMIT или ROLLBACK."));
}

TDeleteRefusal NoRowDeletedRefusal()
{
    return TDeleteRefusal{QStringLiteral(
        "Запись не удалена: строка таблицы отличается от показанной (её изменили или удалили после выборки, "
        "или это не строка таблицы). Изменения отменены.")};
}

TDeleteRefusal ManyRowsDeletedRefusal(long long rows)
{
    return TDeleteRefusal{QStringLiteral(
        "Запись не удалена: ключ таблицы не уникален, под него подошло строк: %1. Изменения отменены.")
                              .arg(rows)};
}

QString DeleteFailureText(const QString& driverText)
{
    const QString ours = QStringLiteral("Запись не удалена: сервер сообщил об ошибке. Изменения отменены.");
    return driverText.isEmpty() ? ours : ours + QLatin1Char('\n') + driverText;
}

QString DeleteCancelledText()
{
    return QStringLiteral("Удаление прервано пользователем. Запись не удалена.");
}

QString DeleteTimedOutText()
{
    return QStringLiteral("Удаление прервано: сервер не ответил за отведённое время. Запись не удалена.");
}

QString DescribeFirstResultSetStatement(const QString& sql)
{
    QString literal = sql;
    literal.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("exec sp_describe_first_result_set @tsql = N'") + literal
        + QStringLiteral("', @params = NULL, @browse_information_mode = 1");
}

TDeleteDecision PlanKeyedDeleteFromDescription(const std::vector<TDescribedResultColumn>& rows,
                                               const std::vector<TFieldType>& types)
{
    std::vector<TColumnSource> sources;
    for (const TDescribedResultColumn& r : rows)
        if (!r.isHidden)
            sources.push_back(TColumnSource{r.sourceSchema, r.sourceTable, r.sourceColumn, r.sourceDatabase});
    TTableKey key;
    if (const std::optional<TColumnSource> table = SingleSourceTable(sources)) {
        for (const TDescribedResultColumn& r : rows) {
            const TColumnSource s{r.sourceSchema, r.sourceTable, r.sourceColumn, r.sourceDatabase};
            if (r.isPartOfUniqueKey && SameTable(*table, s) && !s.column.isEmpty()
                && std::find(key.begin(), key.end(), s.column) == key.end())
                key.push_back(s.column);
        }
    }
    return PlanKeyedDelete(sources, {key}, TNameQuoting::Brackets, types);
}
