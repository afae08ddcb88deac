#pragma once
// The database component: one connection and the queries on it. Abstract;
// the ODBC implementation lives in platform/odbc (platform/odbc/OdbcDatabase.h).
//
// Threading: user-interface thread only; every call blocks until the driver
// answers or the time-out expires.

#include "query/DataSet.h"

#include <QString>

#include <memory>
#include <vector>

// One diagnostic record of the last failure.
struct TDbError {
    int NativeError = 0;
    QString SqlState;
    QString Message;   // vendor prefixes ("[unixODBC][FreeTDS]...") removed
};

// Time-outs of the window's connection and queries, in seconds.
inline constexpr int kLoginTimeoutSeconds = 300;
inline constexpr int kMainCommandTimeoutSeconds = 300;
inline constexpr int kAuxCommandTimeoutSeconds = 30;

// Native error number carried by the first error entry when a statement ran
// but returned no row set (the value of DB_S_NORESULT).
inline constexpr int kNoResultNativeError = 265929;

class TDbConnection {
public:
    virtual ~TDbConnection() = default;

    [[nodiscard]] virtual QString Name() const = 0;
    virtual void SetConnectionString(const QString& connectionString) = 0;
    [[nodiscard]] virtual QString ConnectionString() const = 0;
    // Seconds; 0 means no limit.
    virtual void SetLoginTimeout(int seconds) = 0;
    [[nodiscard]] virtual int LoginTimeout() const = 0;

    // Connects without prompting. Raises EDatabaseError with the joined
    // diagnostic messages; Errors() then holds the records.
    virtual void Open() = 0;
    // Closes the connection and every open query on it; nothing happens when
    // it is closed already.
    virtual void Close() = 0;
    [[nodiscard]] virtual bool Connected() const = 0;

    // The error list of the last failure (empty after a success).
    [[nodiscard]] virtual const std::vector<TDbError>& Errors() const = 0;
};

// A query on a connection. Open() runs the SQL and fetches the whole result
// into memory; a statement without any row set fails with
// "<Name>: CommandText does not return a result set" and sets the first error
// entry's NativeError to kNoResultNativeError.
//
// TDataSet is a virtual base so that an implementation can take the dataset
// services from one class and the query services from another.
class TDbQuery : public virtual TDataSet {
public:
    virtual void SetConnection(TDbConnection* connection) = 0;
    [[nodiscard]] virtual TDbConnection* Connection() const = 0;

    // Setting the SQL closes nothing; the text is sent as given.
    virtual void SetSQL(const QString& sql) = 0;
    [[nodiscard]] virtual QString SQL() const = 0;
    // Seconds; 0 means no limit.
    virtual void SetCommandTimeout(int seconds) = 0;
    [[nodiscard]] virtual int CommandTimeout() const = 0;

    // Runs the SQL without a result; returns the rows affected (-1 unknown).
    virtual long long ExecSQL() = 0;
};

// Creates the platform's implementations (defined in platform/).
[[nodiscard]] std::unique_ptr<TDbConnection> CreateDbConnection(const QString& name);
[[nodiscard]] std::unique_ptr<TDbQuery> CreateDbQuery(const QString& name, TDbConnection* connection);
