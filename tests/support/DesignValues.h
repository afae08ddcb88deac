#pragma once
// The design values the tests check the program against, named once. They
// are written out here rather than taken from the program's constants, so a
// wrong constant in the program fails a test.

#include <QSize>

namespace design {

inline constexpr QSize kWindowSize{693, 587};   // frmQA's outer size
inline constexpr int kEditorHeight = 265;       // reQuery
inline constexpr int kToolBarHeight = 26;
inline constexpr int kSplitterHeight = 3;
inline constexpr int kPanelHeight = 37;
inline constexpr int kStatusBarHeight = 19;
inline constexpr int kMinResultHeight = 30;     // the splitter keeps this much
inline constexpr int kResultColumnWidth = 200;  // every rebuilt grid column

inline constexpr int kLoginTimeout = 300;       // seconds
inline constexpr int kMainCommandTimeout = 300;
inline constexpr int kAuxCommandTimeout = 30;

} // namespace design
