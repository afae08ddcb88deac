#pragma once
// Opens a secondary top-level window at an outer size (its frame included),
// centred on its screen.
//
// Under an X11 window manager the frame is unknown when the window is first
// shown: it arrives a moment later, when the manager has framed the window.
// Until then the window has the outer size as its own and is centred on
// that; as soon as the frame is known (at the show, a move or resize, or the
// activation) the size loses the frame and the window is centred again,
// once. A size changed before that stays. The client never gets smaller
// than the window's minimum size hint.

class QSize;
class QWidget;

void PlaceAtOuterSize(QWidget& window, QSize outer);
