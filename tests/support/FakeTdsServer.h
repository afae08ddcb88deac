#pragma once
// A loopback server that speaks just enough TDS 7.4 for the FreeTDS driver to
// log in and run statements, so time-outs and cancels can be tested without a
// SQL Server:
// - a pre-login answer without encryption, and a login acknowledgement;
// - a batch whose text holds "waitfor" gets no answer until the client sends
//   an attention (a cancel), which is acknowledged; "waitfor late N" waits N
//   milliseconds more before it acknowledges, as a busy server may;
// - a batch whose text holds "select 1" gets one INT column with the value 1;
// - a batch "select rows N" gets N rows of an INT and an NVARCHAR(60),
//   streamed as they are made (the server holds no result);
// - a batch "select table N" gets N rows shaped like a real table, streamed
//   the same way (SendTable: twelve columns of the common types, the last an
//   NVARCHAR(MAX) that is NULL in most rows);
// - a batch "select batch" gets what a batch of several statements gives: an
//   informational message, a row set of one INT (1), a statement count of
//   153 with a message before it, and a second row set of two INTs (10, 20);
//   "select batch error" puts a failing statement (an error, class 16)
//   between the count and the second row set; "select batch slow N" gives
//   the first row set, then N rows of "select rows N" streamed;
// - any other batch gets a bare DONE.
// Each connection is served on a thread of its own.

#include "tests/support/SilentListener.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

class TFakeTdsServer {
public:
    TFakeTdsServer()
    {
        if (m_listener.Port() != 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~TFakeTdsServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (std::thread& t : m_talks)
            t.join();
    }
    TFakeTdsServer(const TFakeTdsServer&) = delete;
    TFakeTdsServer& operator=(const TFakeTdsServer&) = delete;

    [[nodiscard]] int Port() const { return m_listener.Port(); }
    // Attentions received: each is a cancel the driver sent.
    [[nodiscard]] int Attentions() const { return m_attentions.load(); }
    [[nodiscard]] int Logins() const { return m_logins.load(); }
    [[nodiscard]] std::string ConnectionString() const
    {
        return "Driver=FreeTDS;Server=127.0.0.1;Port=" + std::to_string(Port()) + ";UID=u;PWD=p";
    }

private:
    using TBytes = std::vector<std::uint8_t>;

    enum : std::uint8_t { kBatch = 0x01, kReply = 0x04, kAttention = 0x06, kLogin7 = 0x10, kPrelogin = 0x12 };

    static void U16(TBytes& b, unsigned v) { b.push_back(v & 0xff); b.push_back((v >> 8) & 0xff); }
    static void U32(TBytes& b, std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xff); }
    static void U64(TBytes& b, std::uint64_t v) { for (int i = 0; i < 8; ++i) b.push_back((v >> (8 * i)) & 0xff); }
    static void Name(TBytes& b, const char* ascii)
    {
        const std::string s(ascii);
        b.push_back(static_cast<std::uint8_t>(s.size()));
        for (char c : s)
            U16(b, static_cast<unsigned char>(c));
    }
    static void Done(TBytes& b, unsigned status, unsigned command = 0, std::uint64_t rows = 0)
    {
        b.push_back(0xFD);
        U16(b, status);
        U16(b, command);
        U64(b, rows);
    }

    // Waits up to `ms` (< 0: without limit) for the socket to have data;
    // false on time-out or stop.
    bool Readable(int fd, int ms) const
    {
        for (int waited = 0; (ms < 0 || waited < ms) && !m_stop; waited += 50) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                return true;
        }
        return false;
    }

    // A message's first bytes may be as far off as the client likes (an idle
    // connection); the rest of a message comes within a minute.
    bool ReadExactly(int fd, std::uint8_t* out, std::size_t n, int firstWaitMs = 60000) const
    {
        for (int waitMs = firstWaitMs; n > 0; waitMs = 60000) {
            if (!Readable(fd, waitMs))
                return false;
            const ssize_t got = ::recv(fd, out, n, 0);
            if (got <= 0)
                return false;
            out += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

    // One message (its packets joined); false when the client went away.
    bool ReadMessage(int fd, std::uint8_t& type, TBytes& payload) const
    {
        payload.clear();
        for (;;) {
            std::uint8_t header[8];
            if (!ReadExactly(fd, header, sizeof header, payload.empty() ? -1 : 60000))
                return false;
            type = header[0];
            const std::size_t length = (std::size_t{header[2]} << 8) | header[3];
            if (length < 8)
                return false;
            const std::size_t at = payload.size();
            payload.resize(at + length - 8);
            if (!ReadExactly(fd, payload.data() + at, length - 8))
                return false;
            if (header[1] & 0x01)
                return true;
        }
    }

    // Packets of the driver's default size.
    static constexpr std::size_t kPacketBytes = 4096;

    static void SendPacket(int fd, const std::uint8_t* data, std::size_t n, bool last)
    {
        TBytes packet = {kReply, static_cast<std::uint8_t>(last ? 0x01 : 0x00), 0, 0, 0, 0, 1, 0};
        const std::size_t length = n + 8;
        packet[2] = static_cast<std::uint8_t>(length >> 8);
        packet[3] = static_cast<std::uint8_t>(length & 0xff);
        packet.insert(packet.end(), data, data + n);
        (void)::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
    }

    static void Send(int fd, const TBytes& payload)
    {
        constexpr std::size_t kData = kPacketBytes - 8;
        std::size_t at = 0;
        while (payload.size() - at > kData) {
            SendPacket(fd, payload.data() + at, kData, false);
            at += kData;
        }
        SendPacket(fd, payload.data() + at, payload.size() - at, true);
    }

    // An INFO (0xAB) or ERROR (0xAA) token.
    static void MessageToken(TBytes& b, std::uint8_t token, std::uint32_t number, std::uint8_t cls,
                             const std::string& text)
    {
        TBytes m;
        U32(m, number);
        m.push_back(1);                                   // state
        m.push_back(cls);
        U16(m, static_cast<unsigned>(text.size()));
        for (char c : text)
            U16(m, static_cast<unsigned char>(c));
        m.push_back(0);                                   // server name
        m.push_back(0);                                   // procedure name
        U32(m, 1);                                        // line
        b.push_back(token);
        U16(b, static_cast<unsigned>(m.size()));
        b.insert(b.end(), m.begin(), m.end());
    }

    // A row set of one INT column `name` holding `values`; its DONE says
    // more results follow when `more`.
    static void IntRowSet(TBytes& b, const char* name, std::initializer_list<std::uint32_t> values, bool more)
    {
        b.push_back(0x81);
        U16(b, 1);
        U32(b, 0);
        U16(b, 0);
        b.push_back(0x38);
        Name(b, name);
        for (std::uint32_t v : values) {
            b.push_back(0xD1);
            U32(b, v);
        }
        Done(b, 0x10 | (more ? 0x01 : 0), 0xC1, values.size());
    }

    static TBytes BatchAnswer(bool withError, bool slowSecond)
    {
        TBytes b;
        MessageToken(b, 0xAB, 50000, 0, "first message");
        IntRowSet(b, "a", {1}, true);
        if (slowSecond)
            return b;
        MessageToken(b, 0xAB, 50000, 10, "second message");
        Done(b, 0x10 | 0x01, 0xC5, 153);                  // an UPDATE's count
        if (withError) {
            MessageToken(b, 0xAA, 208, 16, "Invalid object name 'nope'.");
            Done(b, 0x02 | 0x01, 0xC1, 0);
        }
        IntRowSet(b, "b", {10, 20}, false);
        return b;
    }

    // `rows` rows of (id INT, note NVARCHAR(60)), sent a packet at a time,
    // after `before`.
    void SendRows(int fd, long long rows, TBytes before = {})
    {
        TBytes b = std::move(before);
        b.push_back(0x81);
        U16(b, 2);
        U32(b, 0);
        U16(b, 0);
        b.push_back(0x38);
        Name(b, "id");
        U32(b, 0);
        U16(b, 0x0001);                                   // nullable
        b.push_back(0xE7);                                // NVARCHAR
        U16(b, 120);                                      // bytes
        b.insert(b.end(), {0x09, 0x04, 0xD0, 0x00, 0x34});  // collation
        Name(b, "note");
        constexpr std::size_t kData = kPacketBytes - 8;
        const std::string prefix = "The quick brown fox jumps over the lazy dog ";
        for (long long r = 1; r <= rows; ++r) {
            b.push_back(0xD1);
            U32(b, static_cast<std::uint32_t>(r));
            std::string digits = std::to_string(r * 7919);
            const std::string note = prefix + std::string(16 - std::min<std::size_t>(16, digits.size()), '0') + digits;
            U16(b, static_cast<unsigned>(note.size() * 2));
            for (char c : note)
                U16(b, static_cast<unsigned char>(c));
            if (b.size() >= kData) {
                SendPacket(fd, b.data(), kData, false);
                b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(kData));
                if (EndedByAttention(fd, b))
                    return;
            }
        }
        Done(b, 0x10, 0xC1, static_cast<std::uint64_t>(rows));
        Send(fd, b);
    }

    // Whether the client sent an attention (a cancel) while a result was
    // being sent. As a real server does, the result then ends there: `rest`
    // (the tail of whole rows not sent yet), then a DONE that acknowledges
    // the attention. A client gone away ends it too.
    bool EndedByAttention(int fd, TBytes& rest)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            return false;
        std::uint8_t type = 0;
        TBytes payload;
        if (!ReadMessage(fd, type, payload))
            return true;
        if (type != kAttention)
            return false;
        ++m_attentions;
        Done(rest, 0x20);   // DONE_ATTN
        Send(fd, rest);
        return true;
    }

    // Sends the front of `b` a packet at a time while a whole packet is there.
    static void SendFullPackets(int fd, TBytes& b)
    {
        constexpr std::size_t kData = kPacketBytes - 8;
        std::size_t at = 0;
        while (b.size() - at >= kData) {
            SendPacket(fd, b.data() + at, kData, false);
            at += kData;
        }
        b.erase(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }

    enum class TText { No, Collated };

    // One column's metadata: user type, flags (nullable), the type info, the
    // collation of a text type (Latin1, code page 1252), the name.
    static void Column(TBytes& b, const char* name, std::initializer_list<std::uint8_t> typeInfo,
                       TText text = TText::No, bool nullable = true)
    {
        U32(b, 0);
        U16(b, nullable ? 0x0001 : 0x0000);
        b.insert(b.end(), typeInfo);
        if (text == TText::Collated)
            b.insert(b.end(), {0x09, 0x04, 0xD0, 0x00, 0x34});
        Name(b, name);
    }

    static void Utf16(TBytes& b, const std::u16string& s)
    {
        for (char16_t c : s)
            U16(b, c);
    }

    // The columns of "select table N", in order, with their SQL Server types.
    static constexpr const char* kTableColumns[12] = {
        "id int not null",        "code bigint",       "name nvarchar(40)", "descr varchar(100)",
        "amount decimal(18,4)",   "price money",       "ratio float",       "created datetime2",
        "day date",               "flag bit",          "guid uniqueidentifier", "memo nvarchar(max)"};

    // `rows` rows of the twelve kTableColumns, made from the row number
    // alone and sent a packet at a time (nothing held but one packet). Row r
    // (from 1): id r; code r * 1000003; name "Клиент r"; descr the fox
    // sentence and 16 digits; amount r * 3711 % 10^12 ten-thousandths,
    // negative for every 7th row; price r * 131 % 10^9 ten-thousandths; ratio
    // r / 7; created 2017-07-14 02:40:00 + 61 r s + (r % 1000) ms; day
    // 2017-07-14 + r % 3650 days; flag r % 3 == 0; guid from r; memo
    // "memo r" for every 20th row, NULL otherwise.
    void SendTable(int fd, long long rows)
    {
        TBytes b = {0x81};
        U16(b, 12);
        Column(b, "id", {0x38}, TText::No, false);            // INT4
        Column(b, "code", {0x26, 8});                         // INTN(8)
        Column(b, "name", {0xE7, 80, 0}, TText::Collated);    // NVARCHAR(40)
        Column(b, "descr", {0xA7, 100, 0}, TText::Collated);  // BIGVARCHAR(100)
        Column(b, "amount", {0x6A, 9, 18, 4});                // DECIMALN(18,4)
        Column(b, "price", {0x6E, 8});                        // MONEYN
        Column(b, "ratio", {0x6D, 8});                        // FLTN(8)
        Column(b, "created", {0x2A, 7});                      // DATETIME2(7)
        Column(b, "day", {0x28});                             // DATEN
        Column(b, "flag", {0x68, 1});                         // BITN
        Column(b, "guid", {0x24, 16});                        // GUIDN
        Column(b, "memo", {0xE7, 0xFF, 0xFF}, TText::Collated);   // NVARCHAR(MAX), sent as PLP

        constexpr std::int64_t kDaysTo1970 = 719162;          // 0001-01-01 to 1970-01-01
        constexpr std::int64_t kBaseSeconds = 1500000000;     // 2017-07-14 02:40:00
        const std::string fox = "The quick brown fox jumps over the lazy dog ";
        b.reserve(2 * kPacketBytes);
        for (long long r = 1; r <= rows; ++r) {
            b.push_back(0xD1);
            U32(b, static_cast<std::uint32_t>(r));
            b.push_back(8);
            U64(b, static_cast<std::uint64_t>(r * 1000003));
            const std::string digits = std::to_string(r);
            const std::u16string name = u"Клиент " + std::u16string(digits.begin(), digits.end());
            U16(b, static_cast<unsigned>(name.size() * 2));
            Utf16(b, name);
            const std::string big = std::to_string(r * 7919);
            const std::string descr = fox + std::string(16 - std::min<std::size_t>(16, big.size()), '0') + big;
            U16(b, static_cast<unsigned>(descr.size()));
            b.insert(b.end(), descr.begin(), descr.end());
            b.push_back(9);
            b.push_back(r % 7 == 0 ? 0 : 1);
            U64(b, static_cast<std::uint64_t>(r * 3711 % 1000000000000LL));
            const std::uint64_t price = static_cast<std::uint64_t>(r * 131 % 1000000000LL);
            b.push_back(8);
            U32(b, static_cast<std::uint32_t>(price >> 32));
            U32(b, static_cast<std::uint32_t>(price & 0xffffffffu));
            b.push_back(8);
            const double ratio = static_cast<double>(r) / 7.0;
            std::uint64_t bits = 0;
            std::memcpy(&bits, &ratio, sizeof bits);
            U64(b, bits);
            const std::int64_t seconds = kBaseSeconds + r * 61;
            const std::int64_t ticks = (seconds % 86400) * 10000000 + (r % 1000) * 10000;
            const std::int64_t created = kDaysTo1970 + seconds / 86400;
            b.push_back(8);
            for (int i = 0; i < 5; ++i)
                b.push_back(static_cast<std::uint8_t>(ticks >> (8 * i)));
            for (int i = 0; i < 3; ++i)
                b.push_back(static_cast<std::uint8_t>(created >> (8 * i)));
            const std::int64_t day = kDaysTo1970 + kBaseSeconds / 86400 + r % 3650;
            b.push_back(3);
            for (int i = 0; i < 3; ++i)
                b.push_back(static_cast<std::uint8_t>(day >> (8 * i)));
            b.push_back(1);
            b.push_back(r % 3 == 0 ? 1 : 0);
            b.push_back(16);
            std::uint64_t x = static_cast<std::uint64_t>(r) * 0x9E3779B97F4A7C15ull;
            U64(b, x);
            x ^= x >> 29;
            U64(b, x * 0xBF58476D1CE4E5B9ull);
            if (r % 20 == 0) {
                const std::u16string memo = u"memo " + std::u16string(digits.begin(), digits.end());
                U64(b, memo.size() * 2);
                U32(b, static_cast<std::uint32_t>(memo.size() * 2));
                Utf16(b, memo);
                U32(b, 0);
            } else {
                U64(b, ~std::uint64_t{0});                    // PLP NULL
            }
            const std::size_t unsent = b.size();
            SendFullPackets(fd, b);
            if (b.size() < unsent && EndedByAttention(fd, b))
                return;
        }
        Done(b, 0x10, 0xC1, static_cast<std::uint64_t>(rows));
        Send(fd, b);
    }

    static TBytes PreloginAnswer()
    {
        // VERSION at 11 (6 bytes), ENCRYPTION at 17 (1 byte: not supported).
        return {0x00, 0, 11, 0, 6, 0x01, 0, 17, 0, 1, 0xFF, 16, 0, 0x07, 0xD0, 0, 0, 0x02};
    }

    static TBytes LoginAnswer()
    {
        TBytes b;
        TBytes ack = {0x01, 0x74, 0x00, 0x00, 0x04};   // T-SQL, TDS 7.4
        Name(ack, "Microsoft SQL Server");
        ack.insert(ack.end(), {16, 0, 0x07, 0xD0});
        b.push_back(0xAD);
        U16(b, static_cast<unsigned>(ack.size()));
        b.insert(b.end(), ack.begin(), ack.end());
        Done(b, 0);
        return b;
    }

    static TBytes SelectOneAnswer()
    {
        TBytes b = {0x81};
        U16(b, 1);          // one column
        U32(b, 0);          // user type
        U16(b, 0);          // flags
        b.push_back(0x38);  // INT4
        Name(b, "v");
        b.push_back(0xD1);  // a row
        U32(b, 1);
        Done(b, 0x10, 0xC1, 1);
        return b;
    }

    // The batch text after its headers, as ASCII (the tests use no other).
    static std::string BatchText(const TBytes& payload)
    {
        if (payload.size() < 4)
            return {};
        const std::size_t headers = payload[0] | (payload[1] << 8) | (payload[2] << 16) | (std::size_t{payload[3]} << 24);
        std::string text;
        for (std::size_t i = headers; i + 1 < payload.size(); i += 2)
            text += static_cast<char>(payload[i]);
        return text;
    }

    void Talk(int fd)
    {
        std::uint8_t type = 0;
        TBytes payload;
        long long lateMs = 0;   // how long the next attention waits for its answer
        while (!m_stop && ReadMessage(fd, type, payload)) {
            switch (type) {
            case kPrelogin:
                Send(fd, PreloginAnswer());
                break;
            case kLogin7:
                ++m_logins;
                Send(fd, LoginAnswer());
                break;
            case kAttention: {
                ++m_attentions;
                for (long long waited = 0; waited < lateMs && !m_stop; waited += 20)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                lateMs = 0;
                TBytes b;
                Done(b, 0x20);   // DONE_ATTN
                Send(fd, b);
                break;
            }
            case kBatch: {
                const std::string text = BatchText(payload);
                if (const std::size_t late = text.find("waitfor late "); late != std::string::npos)
                    lateMs = std::atoll(text.c_str() + late + 13);
                if (text.find("waitfor") != std::string::npos)
                    break;       // never answered; the attention ends it
                if (const std::size_t at = text.find("select batch slow "); at != std::string::npos) {
                    SendRows(fd, std::atoll(text.c_str() + at + 18), BatchAnswer(false, true));
                } else if (text.find("select batch") != std::string::npos) {
                    Send(fd, BatchAnswer(text.find("error") != std::string::npos, false));
                } else if (const std::size_t at = text.find("select rows "); at != std::string::npos) {
                    SendRows(fd, std::atoll(text.c_str() + at + 12));
                } else if (const std::size_t t = text.find("select table "); t != std::string::npos) {
                    SendTable(fd, std::atoll(text.c_str() + t + 13));
                } else if (text.find("select 1") != std::string::npos) {
                    Send(fd, SelectOneAnswer());
                } else {
                    TBytes b;
                    Done(b, 0);
                    Send(fd, b);
                }
                break;
            }
            default:
                return;
            }
        }
    }

    void Serve()
    {
        while (!m_stop) {
            if (!Readable(m_listener.Fd(), 100))
                continue;
            const int fd = ::accept(m_listener.Fd(), nullptr, nullptr);
            if (fd < 0)
                continue;
            m_talks.emplace_back([this, fd] {
                Talk(fd);
                ::close(fd);
            });
        }
    }

    TSilentListener m_listener;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_attentions{0};
    std::atomic<int> m_logins{0};
    std::thread m_thread;
    std::vector<std::thread> m_talks;   // one per accepted connection; Serve's thread only
};
