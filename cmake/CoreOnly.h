// Forced into every source of a Qt Core-only library (bqa_library CORE_ONLY).
// Every Qt Gui and Qt Widgets header defines or uses one of these macros, so
// reaching any of them from such a library stops the compile here.
#pragma GCC poison Q_GUI_EXPORT Q_WIDGETS_EXPORT
