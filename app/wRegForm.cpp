#include "app/wRegForm.h"

void wRegFormLoad(QWidget&) {}
void wRegFormSave(QWidget&) {}
