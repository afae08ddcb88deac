#include "query/DbPickers.h"

namespace {

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
    OpenWith(aux, QString::fromUtf16(kTablesSql));
    TField* schema = aux.FieldByName(QStringLiteral("TABLE_SCHEMA"));
    TField* name = aux.FieldByName(QStringLiteral("TABLE_NAME"));
    for (aux.First(); !aux.Eof(); aux.Next())
        add({schema->AsString(), name->AsString()});
}

void UseDatabase(TDbQuery& aux, const QString& name)
{
    aux.Close();
    aux.SetSQL(UseDatabaseStatement(name));
    (void)aux.ExecSQL();
}
