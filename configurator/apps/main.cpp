// The configurator's entry: sets the application title, creates every window once in the fixed
// order, and runs until the main window closes.

#include <QApplication>
#include <QPushButton>
#include <QSocketNotifier>
#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "core/project_state.h"
#include "firmware/windows/TFModifyFileSx.h"
#include "firmware/windows/update_device.h"
#include "image/banks.h"
#include "image/capacity_check.h"
#include "ping/icmp_echo.h"
#include "ping/ping_check.h"
#include "shell/directories.h"
#include "shell/windows/TFAbout.h"
#include "shell/windows/TFMosaicoreFirmWare.h"
#include "shell/windows/TFPing.h"
#include "shell/windows/TFsaveproj.h"
#include "shell/windows/program_icon.h"
#include "tables/windows/TFInfopdoMB.h"
#include "tables/windows/TFSdoMB.h"
#include "tables/windows/TFTPdoMB.h"
#include "tables/windows/TFWEmcyMB2.h"
#include "tables/windows/TFemcyMB2.h"
#include "tables/windows/TFpargen.h"
#include "tables/windows/TFpdoMB.h"
#include "ui/labelled_combo.h"
#include "ui/qt_message_sink.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// A session that ends or a window manager that kills the program politely sends SIGTERM or
// SIGHUP; the program then quits through the event loop, so the settings are still written.
void quitOnTerminationSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(mk::kApplicationTitle));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(mk::kDesktopEntryId));
    // Every window shows the program's icon, also where the window manager ignores the entry.
    QApplication::setWindowIcon(mk::configuratorIcon());
    // Lists are announced by their labels, not by the value they show.
    mk::nameCombosAfterLabels();
    quitOnTerminationSignals(app);

    mk::ProjectState state;
    mk::QtMessageSink sink;
    mk::Banks banks; // the five banks of the configuration image, one set per run

    // Windows are created once each, main window first, and live for the whole run.
    mk::TFMosaicoreFirmWare mainWindow(state, mk::program_folders_for_this_process(), sink);
    sink.setFallbackParent(&mainWindow);
    mk::TFsaveproj saveproj(state, sink, &mainWindow);
    mk::TFAbout about(&mainWindow);
    mainWindow.setDialogs(&saveproj, &about);

    // The firmware window and the editors follow in their fixed order; each attaches itself to
    // its button with one line of the dispatch table.
    mk::TFModifyFileSx firmware(state, sink, mk::detached_program_starter(), &mainWindow);
    mainWindow.setUpdateDevice(mk::update_device_sequence(state, banks, sink, firmware));
    mk::TFpargen pargen(
        state, sink, [&](const QString& address) { mainWindow.setDeviceAddress(address); },
        &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::Communication, [&] { pargen.exec(); });
    mk::TFSdoMB sdo(state, sink, &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::Sdo, [&] { sdo.exec(); });
    mk::TFpdoMB rpdo(state, sink, &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::TranslatePdo, [&] { rpdo.exec(); });
    mk::TFInfopdoMB infopdo(state, sink, &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::StorePdo, [&] { infopdo.exec(); });
    mk::TFTPdoMB tpdo(state, sink, &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::TransmitPdo, [&] { tpdo.exec(); });
    // The ping result window; the echo goes out by the first way this system allows.
    mk::TFPing ping(&mainWindow);
    mk::SystemIcmpEcho echo;
    mk::DevicePing devicePing(echo);
    mainWindow.setDispatch(mk::EditorButton::Ping, [&] {
        mk::ping_device(devicePing, state.device_address, mainWindow.button(mk::EditorButton::Ping),
                        ping);
        ping.exec();
    });
    // The EMCY windows come last, the word window before the translation window.
    mk::TFWEmcyMB2 emcyWord(state, sink, &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::EmcyWord, [&] { emcyWord.exec(); });
    mk::TFemcyMB2 emcy(state, sink, &mainWindow);
    mainWindow.setDispatch(mk::EditorButton::TranslateEmcy, [&] { emcy.exec(); });
    // "OK" warns of a table the build would refuse for lack of room, with the build's words.
    for (mk::EditorDialog* editor :
         std::array<mk::EditorDialog*, 6>{&sdo, &rpdo, &infopdo, &tpdo, &emcyWord, &emcy})
        editor->setCapacityCheck(mk::capacity_refusal);

    mainWindow.show();
    return app.exec();
}
