// The baseline of bench_startup: an empty Qt 6 window, shown.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(693, 587);   // the main window's design size
    window.show();
    return app.exec();
}
