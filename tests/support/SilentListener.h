#pragma once
// A local listening socket on a free port that never accepts: the system
// completes the handshake from its backlog, and nothing ever answers. A test
// server accepts on it itself (Fd()).

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TSilentListener {
public:
    TSilentListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_fd, 8) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            m_port = ntohs(a.sin_port);
    }
    ~TSilentListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TSilentListener(const TSilentListener&) = delete;
    TSilentListener& operator=(const TSilentListener&) = delete;
    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] int Fd() const { return m_fd; }
    [[nodiscard]] QString FreeTdsString() const
    {
        return QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=%1;UID=u;PWD=p").arg(m_port);
    }

private:
    int m_fd = -1;
    int m_port = 0;
};
