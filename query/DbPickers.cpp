#include "query/DbPickers.h"

#include "platform/odbc/OdbcCatalog.h"
#include "platform/odbc/OdbcDatabase.h"

namespace {

// The ODBC connection of `aux` when its server is not SQL Server: the
// pickers read its driver's catalogue. Null for SQL Server and for a query
// on no ODBC connection, which are asked in Transact-SQL.
TOdbcConnection* CatalogueConnection(const TDbQuery& aux)
{
    auto* odbc = dynamic_cast<TOdbcConnection*>(aux.Connection());
    return odbc && odbc->Connected() && !ServerIsSqlServer(*odbc) ? odbc : nullptr;
}

void OpenWith(TDbQuery& aux, const QString& sql)
{
    aux.Close();
    aux.SetSQL(sql);
    aux.Open();
}

} // namespace

QString MenuCaption(const QString& name)
{
    QString caption = name;
    return caption.replace(u'&', QStringLiteral("&&"));
}

QString QuoteIdentifier(const QString& part)
{
    QString quoted = part;
    return u'[' + quoted.replace(u']', QStringLiteral("]]")) + u']';
}

QString UseDatabaseStatement(const QString& name)
{
    return QStringLiteral("use ") + QuoteIdentifier(name);
}

QString TableQueryText(const QString& schema, const QString& name)
{
    return QStringLiteral("select top 100 * from  ") + QuoteIdentifier(schema) + u'.' + QuoteIdentifier(name);
}

void ReadDatabases(TDbQuery& aux, const std::function<void(const TDatabaseEntry&)>& add)
{
    if (TOdbcConnection* odbc = CatalogueConnection(aux)) {
        const QString current = CurrentCatalogue(*odbc);
        for (const QString& name : CatalogueNames(*odbc, aux.CommandTimeout()))
            add(TDatabaseEntry{name, name == current});
        return;
    }
    OpenWith(aux, QString::fromUtf16(kCurrentDbSql));
    const QString current = aux.FieldByName(QStringLiteral("CurDb"))->AsString();
    OpenWith(aux, QString::fromUtf16(kDatabasesSql));
    TField* name = aux.FieldByName(QStringLiteral("name"));
    for (aux.First(); !aux.Eof(); aux.Next()) {
        TDatabaseEntry entry;
        entry.name = name->AsString();
        entry.current = entry.name == current;
        add(entry);
    }
}

void ReadTables(TDbQuery& aux, const std::function<void(const TTableEntry&)>& add)
{
    if (TOdbcConnection* odbc = CatalogueConnection(aux)) {
        const TFirstRowsShape shape = FirstRowsShapeOf(*odbc);
        for (const TCatalogueTable& table : CatalogueTables(*odbc, aux.CommandTimeout()))
            add(TTableEntry{table.schema, table.name, FirstRowsText(shape, table, kFirstRowsCount)});
        return;
    }
    OpenWith(aux, QString::fromUtf16(kTablesSql));
    TField* schema = aux.FieldByName(QStringLiteral("TABLE_SCHEMA"));
    TField* name = aux.FieldByName(QStringLiteral("TABLE_NAME"));
    for (aux.First(); !aux.Eof(); aux.Next())
        add({schema->AsString(), name->AsString(), TableQueryText(schema->AsString(), name->AsString())});
}

void UseDatabase(TDbQuery& aux, const QString& name)
{
    if (TOdbcConnection* odbc = CatalogueConnection(aux)) {
        SetCurrentCatalogue(*odbc, name);
        return;
    }
    aux.Close();
    aux.SetSQL(UseDatabaseStatement(name));
    (void)aux.ExecSQL();
}
