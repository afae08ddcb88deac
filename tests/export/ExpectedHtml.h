#pragma once
// The documents the export tests compare against, written out by hand.

#include <QByteArray>

namespace expected_html {

// Steps 1 to 17 with every style line in MS Sans Serif, 8 pt, black.
inline const QByteArray kClassicHead =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\r\n"
    "<HTML>\r\n"
    "<HEAD>\r\n"
    "<TITLE>dxDBGridRes</TITLE> \r\n"
    "<STYLE>\r\n"
    "<!--\r\n"
    ".Band{font-family: MS Sans Serif; font-size: 8pt; color: #000000}\r\n"
    ".Header{font-family: MS Sans Serif; font-size: 8pt; color: #000000}\r\n"
    ".Footer{font-family: MS Sans Serif; font-size: 8pt; color: #000000}\r\n"
    ".RowFooter{font-family: MS Sans Serif; font-size: 8pt; color: #000000}\r\n"
    ".Group{font-family: MS Sans Serif; font-size: 8pt; color: #000000}\r\n"
    "-->\r\n"
    "</STYLE>\r\n"
    "</HEAD> \r\n"
    "<BODY BGCOLOR=#C0C0C0>\r\n"
    "<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=1 BGCOLOR=#C0C0C0><TR><TD>\r\n"
    "<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=1 BGCOLOR=#C0C0C0>\r\n";

inline const QByteArray kTail =
    "</TABLE>\r\n"
    "</TD></TR></TABLE>\r\n"
    "</BODY>\r\n"
    "</HTML>\r\n";

// The worked example: fields id (integer) and name (string), one record 1, abc.
inline const QByteArray kWorkedHeaderRow =
    "<TR VALIGN=\"TOP\" class=\"Header\" BGCOLOR=#C0C0C0>"
    "<TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">id</TD>"
    "<TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">name</TD>"
    "</TR>\r\n";
inline const QByteArray kWorkedRecordRow =
    "<TR>"
    "<TD NOWRAP ALIGN=\"RIGHT\" BGCOLOR=#FFFFFF><FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: #000000\">1</FONT></TD>"
    "<TD NOWRAP ALIGN=\"LEFT\" BGCOLOR=#FFFFFF><FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: #000000\">abc</FONT></TD>"
    "</TR>\r\n";

// A record cell of the classic scheme, left-aligned, with `content` inside FONT.
inline QByteArray LeftCell(const QByteArray& content)
{
    return "<TD NOWRAP ALIGN=\"LEFT\" BGCOLOR=#FFFFFF><FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: #000000\">"
        + content + "</FONT></TD>";
}

} // namespace expected_html
