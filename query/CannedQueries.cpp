#include "query/CannedQueries.h"

#include "platform/core/Failure.h"

#include <array>
#include <cstring>

namespace {

// Blanks matter: the N3 and N4 lines separate their parts with seven
// blanks, the fifth Collate1 line starts with seven, and the first mmSizeD
// line ends with one.
constexpr std::array kCurrentDbAndServer = {
    u"--Текущие сервер и база",
    u"select db_name() as DB_NAME, serverproperty('servername') as SERVER",
};
constexpr std::array kDbSize = {
    u"--Размер базы",
    u"exec sp_helpfile",
};
constexpr std::array kServer = {
    u"--Текущий сервер",
    u"select serverproperty('servername') as SERVER",
};
constexpr std::array kServerCollation = {
    u"--collation for the server",
    u"declare @CollateName varchar(250)",
    u"set @CollateName=(select cast(serverproperty('Collation') as varchar(250)))",
    u"SELECT @CollateName as Collate_Name, COLLATIONPROPERTY(@CollateName,'CodePage') as CodePage,",
    u"       COLLATIONPROPERTY(@CollateName,'LCID') as LCID",
};
constexpr std::array kEdition = {
    u"--The edition of the Microsoft® SQL Server™",
    u"select serverproperty('Edition') as Edition",
};
constexpr std::array kSecurity = {
    u"--IntegratedSecurity",
    u"select case serverproperty('IsIntegratedSecurityOnly')       when 0 then 'Not Integrated Security'       when 1 then 'Integrated Security'       end as IntegratedSecurity",
};
constexpr std::array kSingleUser = {
    u"--Single/Not Single User",
    u"select case serverproperty('IsSingleUser')       when 0 then 'Not Single User'       when 1 then 'Single User'       end as 'Single/Not Single'",
};
constexpr std::array kMachineName = {
    u"--MachineName",
    u"select serverproperty('MachineName') as MachineName",
};
constexpr std::array kProcessId = {
    u"--ProcessID",
    u"select serverproperty('ProcessID') as ProcessID",
};
constexpr std::array kProductVersion = {
    u"--Цифровая версия сервера",
    u"select serverproperty('ProductVersion') as 'Цифровая версия сервера'",
};
constexpr std::array kProductLevel = {
    u"--Подробности ОС",
    u"select serverproperty('ProductLevel') as 'Подробности ОС'",
};
constexpr std::array kCurrentDb = {
    u"--Текущая база",
    u"select db_name() as DB_NAME",
};
constexpr std::array kDbCollation = {
    u"--Collation базы",
    u"SELECT DATABASEPROPERTYEX(db_name(),'Collation') as Collation",
};
constexpr std::array kDbFiles = {
    u"--Файлы базы и из размер ",
    u"sp_helpfile",
};

const std::array<TCannedQuery, 14> kCatalogue = {{
    {"tbName", u"Текущая база", kCurrentDbAndServer},
    {"tbSize", u"размер базы", kDbSize},
    {"N1", u"Сервер", kServer},
    {"Collate1", u"Collate-сервера", kServerCollation},
    {"N2", u"Редакция сервера", kEdition},
    {"N3", u"Тип безопасности", kSecurity},
    {"N4", u"Режим (одно-много пользовательский)", kSingleUser},
    {"N5", u"Имя компьютера", kMachineName},
    {"N6", u"Процесс сервера", kProcessId},
    {"N7", u"Цифровая версия сервера", kProductVersion},
    {"N8", u"Подробности ОС", kProductLevel},
    {"N10", u"Текущая база", kCurrentDb},
    {"Collation1", u"Collation текущей базы", kDbCollation},
    {"mmSizeD", u"Размер текущей базы", kDbFiles},
}};

} // namespace

QString TCannedQuery::Text() const
{
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += u'\r';
        text += QString::fromUtf16(lines[i]);
    }
    return text;
}

std::span<const TCannedQuery> CannedQueries()
{
    return kCatalogue;
}

const TCannedQuery& CannedQuery(const char* trigger)
{
    for (const TCannedQuery& entry : CannedQueries())
        if (std::strcmp(entry.trigger, trigger) == 0)
            return entry;
    throw Exception(QStringLiteral("No canned query for %1").arg(QLatin1String(trigger)));
}
