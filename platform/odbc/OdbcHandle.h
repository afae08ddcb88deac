#pragma once
// Move-only owners of ODBC handles. The destructor frees the handle; a
// connection handle is disconnected first when it is still connected (the
// driver manager refuses to free a connected handle).

#include <sql.h>
#include <sqlext.h>

#include <utility>

template <SQLSMALLINT HandleType>
class TOdbcHandle {
public:
    TOdbcHandle() = default;
    explicit TOdbcHandle(SQLHANDLE handle) : m_handle(handle) {}
    ~TOdbcHandle() { Reset(); }

    TOdbcHandle(TOdbcHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, SQLHANDLE{})) {}
    TOdbcHandle& operator=(TOdbcHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_handle = std::exchange(other.m_handle, SQLHANDLE{});
        }
        return *this;
    }
    TOdbcHandle(const TOdbcHandle&) = delete;
    TOdbcHandle& operator=(const TOdbcHandle&) = delete;

    [[nodiscard]] SQLHANDLE Get() const { return m_handle; }
    [[nodiscard]] explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }
    [[nodiscard]] static constexpr SQLSMALLINT Type() { return HandleType; }

    // Allocates a new handle under `parent` (SQL_NULL_HANDLE for an
    // environment), freeing the current one first. Returns the ODBC result.
    SQLRETURN Allocate(SQLHANDLE parent)
    {
        Reset();
        return SQLAllocHandle(HandleType, parent, &m_handle);
    }

    void Reset()
    {
        if (m_handle == SQL_NULL_HANDLE)
            return;
        if constexpr (HandleType == SQL_HANDLE_DBC)
            SQLDisconnect(m_handle);   // harmless when not connected
        SQLFreeHandle(HandleType, m_handle);
        m_handle = SQL_NULL_HANDLE;
    }

private:
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

using TOdbcEnv = TOdbcHandle<SQL_HANDLE_ENV>;
using TOdbcDbc = TOdbcHandle<SQL_HANDLE_DBC>;
using TOdbcStmt = TOdbcHandle<SQL_HANDLE_STMT>;

[[nodiscard]] inline bool OdbcSucceeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}
