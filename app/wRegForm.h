#pragma once
// Window settings of a form, kept between runs: wRegFormLoad applies them
// before the form is first shown (from FormCreate), wRegFormSave stores them
// as the form closes (from FormClose). Both may raise Exception.
//
// Not implemented yet: both do nothing, so the main window always opens at
// its design size, centred.

class QWidget;

void wRegFormLoad(QWidget& form);
void wRegFormSave(QWidget& form);
