// Regprobe: a Modbus TCP master for testing the gateway's holding registers by hand.
#include <QApplication>

#include "regprobe/TfrmAbout.h"
#include "regprobe/TfrmMain.h"
#include "regprobe/qt_messages.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(rp::kApplicationTitle));

    rp::QtMessages messages;
    rp::TfrmMain frmMain(messages);
    messages.setMainWindow(&frmMain);
    rp::TfrmAbout frmAbout(&frmMain);
    frmMain.setAboutBox(&frmAbout);
    frmMain.show();
    return app.exec();
}
