#pragma once
// Shared by the viewer and editor benchmarks: sample contents, a clock, the
// process's memory and a key press delivered like a user's.

#include "bench/common/ProcessMemory.h"

#include <QApplication>
#include <QByteArray>
#include <QKeyEvent>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace bench {

// SQL-like lines of about 70 bytes, `bytes` long in all.
inline QByteArray TextOfSize(qsizetype bytes)
{
    const QByteArray line = "select column_a, column_b, column_c from some_table where x = 12345;\r\n";
    QByteArray text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    text.truncate(bytes);
    return text;
}

// RTF of about `bytes` bytes: paragraphs with bold and coloured runs.
inline QByteArray RtfOfSize(qsizetype bytes)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                     "{\\colortbl ;\\red200\\green0\\blue0;}\\f0\\fs20 ";
    const QByteArray paragraph = "plain words then {\\b bold words} and \\cf1 red words\\cf0  to the end\\par\r\n";
    while (rtf.size() < bytes)
        rtf += paragraph;
    return rtf + "}";
}

// Pseudo-random bytes, every value 0..255, the same on every run.
inline QByteArray BinaryOfSize(qsizetype bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    std::uint32_t x = 2463534242u;
    for (char& c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return data;
}

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resident memory of this process, in MiB.
inline double RssMiB() { return static_cast<double>(ResidentBytes()) / (1024.0 * 1024.0); }

// A key press and release sent through the application, as typing is.
inline void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = {}, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

// Lets every pending paint and layout run.
inline void Settle()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

} // namespace bench
