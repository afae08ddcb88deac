#include "platform/odbc/OdbcDiagnostics.h"

#include "platform/odbc/OdbcChars.h"

#include <sqlext.h>

#include <algorithm>

QString StripVendorPrefixes(const QString& message)
{
    qsizetype pos = 0;
    const qsizetype n = message.size();
    for (;;) {
        qsizetype p = pos;
        while (p < n && message[p] == QLatin1Char(' '))
            ++p;
        if (p >= n || message[p] != QLatin1Char('['))
            break;
        const qsizetype close = message.indexOf(QLatin1Char(']'), p + 1);
        if (close < 0)
            break;
        pos = close + 1;
    }
    while (pos < n && message[pos] == QLatin1Char(' '))
        ++pos;
    return message.mid(pos);
}

QString JoinDiagnosticMessages(const std::vector<TDbError>& errors)
{
    QString text;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const TDbError& e = errors[i];
        if (e.Message.isEmpty())
            continue;
        const auto same = [&](const TDbError& earlier) { return earlier.Message == e.Message; };
        if (std::any_of(errors.begin(), errors.begin() + static_cast<std::ptrdiff_t>(i), same))
            continue;
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += e.Message;
    }
    return text;
}

namespace {

template <class Ch>
std::vector<TDbError> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    using Chars = TOdbcChars<Ch>;
    std::vector<TDbError> out;
    for (SQLSMALLINT rec = 1;; ++rec) {
        Ch state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLRETURN rc = Chars::GetDiagRec(handleType, handle, rec, state, &native, nullptr, 0, &len);
        if (!SQL_SUCCEEDED(rc))
            break;
        std::vector<Ch> text(static_cast<std::size_t>(len) + 1, 0);
        rc = Chars::GetDiagRec(handleType, handle, rec, state, &native, text.data(),
                               static_cast<SQLSMALLINT>(text.size()), &len);
        if (!SQL_SUCCEEDED(rc))
            break;
        const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(len, 0)),
                                                        text.size() - 1);
        TDbError e;
        e.NativeError = static_cast<int>(native);
        e.SqlState = Chars::ToQString(state, 5);
        e.Message = StripVendorPrefixes(Chars::ToQString(text.data(), units)).trimmed();
        out.push_back(std::move(e));
    }
    return out;
}

} // namespace

std::vector<TDbError> ReadOdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, bool wide)
{
    if (handle == SQL_NULL_HANDLE)
        return {};
    return WithOdbcChars(wide, [&]<class Ch>() { return ReadDiagnostics<Ch>(handleType, handle); });
}
