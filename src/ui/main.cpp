#include <QApplication>

#include "tformmain.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TFormMain window;
    window.show();
    return app.exec();
}
