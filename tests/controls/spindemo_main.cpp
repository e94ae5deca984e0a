// The spin controls on their own, for trying them with a real mouse.
#include "spindemo.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TSpinDemo demo;
    demo.show();
    return app.exec();
}
