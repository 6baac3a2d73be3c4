#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "scripted_echo.h"
#include "shell/windows/TFMosaicoreFirmWare.h"
#include "shell/windows/TFPing.h"
#include "test_dir.h"

namespace {

using mk::EchoAnswer;
using mk::EchoReport;
using mk::TFPing;
using mk::test::ScriptedEcho;

// The pictures the window shows, by name.
QStringList shownPictures(const TFPing& w) {
    QStringList shown;
    for (const char* name : {"I_P_F", "I_P_NF", "I_P_E"}) {
        auto* picture = w.findChild<QLabel*>(QString::fromUtf8(name));
        if (picture && !picture->isHidden())
            shown << name;
    }
    return shown;
}

QString shownText(const TFPing& w) {
    return w.findChild<QLabel*>(QStringLiteral("pingText"))->text();
}

TEST(PingWindow, CaptionUntilFilledThenOnePictureForEachKind) {
    TFPing w;
    EXPECT_EQ(w.windowTitle(), "Ping!");
    EXPECT_TRUE(shownPictures(w).isEmpty());
    for (const char* name : {"I_P_F", "I_P_NF", "I_P_E"})
        EXPECT_FALSE(w.findChild<QLabel*>(QString::fromUtf8(name))->accessibleName().isEmpty());

    w.prepare(2, "Ping! Error!!!", "Error!!! Check the Ip Address");
    w.prepare(0, "Ping! Device Found!", "Device Found!");
    EXPECT_EQ(shownPictures(w), QStringList{"I_P_F"});
    EXPECT_EQ(shownText(w), "Device Found!");
    EXPECT_EQ(w.windowTitle(), "Ping! Device Found!");
    w.prepare(1, "Ping! Device Not Found!", "Device Not Found!");
    EXPECT_EQ(shownPictures(w), QStringList{"I_P_NF"});

    w.show();
    w.findChild<QPushButton*>(QStringLiteral("pingOk"))->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Accepted);
}

TEST(PingWindow, EachOutcomeFillsTheWindow) {
    ScriptedEcho echo([](const std::string& host) -> EchoReport {
        if (host == "127.0.0.1")
            return mk::test::reply();
        if (host == "10.0.0.99")
            return {EchoAnswer::None, 0, std::nullopt};
        if (host == "10.0.0.98")
            return {EchoAnswer::Unreachable, 36, std::nullopt};
        throw mk::EchoError("cannot resolve 'abc.def'");
    });
    mk::DevicePing ping(echo);
    TFPing w;
    struct Case {
        const char* host;
        const char* picture;
        const char* caption;
        const char* text;
    };
    for (const Case& c :
         {Case{"127.0.0.1", "I_P_F", "Ping! Device Found!", "Device Found!"},
          Case{"10.0.0.99", "I_P_NF", "Ping! Device Not Found!", "Device Not Found!"},
          Case{"10.0.0.98", "I_P_NF", "Ping! Device Not Found!", "Device Not Found!"},
          Case{"abc.def", "I_P_E", "Ping! Error!!!", "Error!!! Check the Ip Address"}}) {
        SCOPED_TRACE(c.host);
        mk::ping_device(ping, c.host, nullptr, w);
        EXPECT_EQ(shownPictures(w), QStringList{c.picture}) << c.host;
        EXPECT_EQ(w.windowTitle(), c.caption) << c.host;
        EXPECT_EQ(shownText(w), c.text) << c.host;
    }
}

TEST(PingWindow, WindowsKeepRunningWhileTheEchoIsOutAndTheButtonWaits) {
    ScriptedEcho echo([](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return mk::test::reply();
    });
    mk::DevicePing ping(echo);
    TFPing w;
    QPushButton button(QStringLiteral("Ping Device"));
    int ticks = 0;
    bool enabledDuringPing = true;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        enabledDuringPing = enabledDuringPing && button.isEnabled();
    });
    timer.start(20);
    const mk::PingRun run = mk::ping_device(ping, "127.0.0.1", &button, w);
    timer.stop();
    EXPECT_EQ(run.outcome, mk::PingOutcome::Found);
    // Timers (and so paint events) ran during the 300 ms echo; the button was off meanwhile.
    EXPECT_GE(ticks, 5);
    EXPECT_FALSE(enabledDuringPing);
    EXPECT_TRUE(button.isEnabled());
}

TEST(PingWindow, FocusComesBackToTheButtonAfterThePing) {
    // Disabling the focused button during the echo moves the focus on to the address field,
    // which selects its text: the next key a keyboard user types would replace the address.
    ScriptedEcho echo([](const std::string&) { return mk::test::reply(); });
    mk::DevicePing ping(echo);
    TFPing w;
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("Ping Device"), &window);
    auto* address = new QLineEdit(QStringLiteral("127.0.0.1"), &window);
    address->move(0, 40);
    window.show();
    button->setFocus();
    ASSERT_EQ(window.focusWidget(), button);

    mk::ping_device(ping, "127.0.0.1", button, w);
    EXPECT_EQ(window.focusWidget(), button);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(address->hasSelectedText());
}

TEST(PingWindow, PingDeviceGoesThroughTheProjectCheck) {
    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    mk::TFMosaicoreFirmWare main(state, dir.path(), sink);
    ScriptedEcho echo([](const std::string&) { return mk::test::reply(); });
    mk::DevicePing ping(echo);
    TFPing w(&main);
    int shown = 0;
    main.setDispatch(mk::EditorButton::Ping, [&] {
        mk::ping_device(ping, state.device_address, main.button(mk::EditorButton::Ping), w);
        ++shown;
    });
    EXPECT_TRUE(main.button(mk::EditorButton::Ping)->isEnabled());

    // The address field's text goes to the echo.
    main.deviceAddressField()->setText(QStringLiteral("127.0.0.1"));
    main.button(mk::EditorButton::Ping)->click();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(shownText(w), "Device Found!");

    // No project directory: the message, and nothing is sent.
    state.project_dir.clear();
    main.button(mk::EditorButton::Ping)->click();
    EXPECT_EQ(echo.calls, 1);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Project not valid"});
}

} // namespace
