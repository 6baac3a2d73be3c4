// Regprobe: a Modbus TCP master for testing the gateway's holding registers by hand.
#include <QApplication>

#include "regprobe/windows/TfrmAbout.h"
#include "regprobe/windows/TfrmMain.h"
#include "regprobe/windows/program_icon.h"
#include "regprobe/windows/qt_messages.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(rp::kApplicationTitle));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.veltrisa.regprobe"));
    // Both windows show the program's icon, also where the window manager ignores the entry.
    QApplication::setWindowIcon(rp::regprobeIcon());

    rp::QtMessages messages;
    rp::TfrmMain frmMain(messages);
    messages.setMainWindow(&frmMain);
    rp::TfrmAbout frmAbout(&frmMain);
    frmMain.setAboutBox(&frmAbout);
    frmMain.show();
    return app.exec();
}
