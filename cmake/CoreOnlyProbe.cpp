// Must not compile: a Core-only library that reaches a widget header.
#include <QtWidgets/QWidget>

int CoreOnlyProbe() { return sizeof(QWidget); }
