#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <chrono>
#include <thread>

#include "firmware/windows/TFModifyFileSx.h"
#include "firmware/windows/update_device.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"
#include "ui/qt_message_sink.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

// The widget tests are one executable for the whole configurator; the sample files are found
// beside the tests folder that Qt's test library names.
const fs::path kAssets = fs::path(QT_TESTCASE_SOURCEDIR).parent_path() / "assets";

class FirmwareWindow : public ::testing::Test {
protected:
    void SetUp() override {
        state.program_dir = dir.path();
        state.master_dirs = {dir.path() / "MASTER"};
        state.projects_dir = dir.path() / "PROJECTS";
        state.project_dir = state.projects_dir / "demo";
        fs::create_directories(master());
        fs::create_directories(state.project_dir / "bin");
        fs::copy_file(kAssets / "RZ41902_15_3.sx", master() / "RZ41902_15_3.sx");
        fs::copy(kAssets / "demo", state.project_dir, fs::copy_options::recursive);
    }
    ~FirmwareWindow() override { fs::current_path(saved_); }
    fs::path master() const { return state.master_dirs.front(); }

    // The loader of this test: a script that records its arguments.
    fs::path install_loader() {
        const fs::path record = dir.path() / "loader-args.txt";
        const fs::path loader = dir.path() / "Progmule.exe";
        test::write_file(loader, "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" + record.string() +
                                     ".tmp'\nmv '" + record.string() + ".tmp' '" + record.string() +
                                     "'\n");
        fs::permissions(loader, fs::perms::owner_all);
        return record;
    }

    fs::path saved_ = fs::current_path();
    test::TempDir dir;
    ProjectState state;
    RecordingSink sink;
    Banks banks;
    FixedClock clock{BuildStamp{2024, 3, 5, 14, 37, 9}};
    TFModifyFileSx window{state, sink, detached_program_starter()};
};

TEST_F(FirmwareWindow, OpeningOffersTheEightPortsAndEnablesExecuteWhenTheBaseImageIsThere) {
    EXPECT_EQ(window.windowTitle(), "Generate Firmware");
    ASSERT_EQ(window.portList()->count(), 8);
    EXPECT_EQ(window.portList()->itemText(0), "COM1");
    EXPECT_EQ(window.portList()->itemText(7), "COM8");
    EXPECT_FALSE(window.portList()->isEditable());
    EXPECT_FALSE(window.executeButton()->isEnabled());
    EXPECT_EQ(window.closeButton()->text(), "X");

    window.portList()->setCurrentIndex(4);
    window.FormShow();
    EXPECT_TRUE(window.executeButton()->isEnabled());
    EXPECT_EQ(window.portList()->currentIndex(), 0);
    EXPECT_EQ(window.progressBar()->value(), 0);
    EXPECT_EQ(fs::current_path(), master());
    EXPECT_TRUE(sink.entries.empty());

    // After the layout changes to 8/8 the other image is wanted, and it is not in MASTER.
    state.pdo_layout = 1;
    window.FormShow();
    EXPECT_FALSE(window.executeButton()->isEnabled());
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_TRUE(sink.texts()[0].starts_with("Error file RZ41902_8_8.sx not found\n"));
}

TEST_F(FirmwareWindow, AnInstalledProgramTakesTheImageFromTheDataFolderOrSaysWhereToPutIt) {
    const fs::path data = dir.path() / "data" / "MASTER";
    state.master_dirs.push_back(data);
    fs::create_directories(data);
    fs::copy_file(kAssets / "RZ41902_8_8.sx", data / "RZ41902_8_8.sx");
    state.pdo_layout = 1;
    window.FormShow();
    EXPECT_TRUE(window.executeButton()->isEnabled());
    EXPECT_EQ(window.plan()->base_image(), data / "RZ41902_8_8.sx");

    fs::remove(data / "RZ41902_8_8.sx");
    window.FormShow();
    EXPECT_FALSE(window.executeButton()->isEnabled());
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{
                  "Error file RZ41902_8_8.sx not found\nLooked for in:\n  " + master().string() +
                  "\n  " + data.string() +
                  "\nCopy RZ41902_8_8.sx, supplied with the device, into:\n  " + data.string()});
}

TEST_F(FirmwareWindow, UpdateDeviceBuildsThenExecuteMergesAndStartsTheLoader) {
    ASSERT_TRUE(run_update_device_steps(state, banks, sink, clock));
    EXPECT_EQ(fs::file_size(state.project_dir / "bin" / "bank2.bin"), kBankSize);
    sink.entries.clear();

    window.FormShow();
    window.BitBtnExecuteClick(); // no loader yet: the image is still made
    const fs::path merged = state.project_dir / "New_RZ41902_15_3.sx";
    EXPECT_TRUE(fs::exists(merged));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{
                                "Progmule.exe Not Found, Procedure Aborted\nLooked for in:\n  " +
                                state.program_dir.string()});
    EXPECT_EQ(window.progressBar()->value(), window.progressBar()->maximum());
    EXPECT_GT(window.progressBar()->maximum(), 512);

    sink.entries.clear();
    const fs::path record = install_loader();
    window.portList()->setCurrentIndex(7);
    window.BitBtnExecuteClick();
    for (int i = 0; i < 100 && !fs::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::read_file(record), "\"" + merged.string() +
                                           "\"\xC2\xB6"
                                           "7\n");
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(FirmwareWindow, ADamagedBaseImageNeverReachesTheLoader) {
    ASSERT_TRUE(run_update_device_steps(state, banks, sink, clock));
    const fs::path record = install_loader();
    const fs::path merged = state.project_dir / "New_RZ41902_15_3.sx";
    test::write_file(merged, "an image of an earlier run");
    const std::string page1 = "S224388000" + std::string(64, '0') + "23\r\n";
    const std::string page2 = "S224398000" + std::string(64, '0') + "22\r\n";
    const fs::path base = master() / "RZ41902_15_3.sx";
    struct Case {
        std::string base;
        std::string last_message;
    };
    const std::vector<Case> cases = {
        {"S9030000FC\r\n" + page1 + "S2!!\r\n" + page2 + "S9030000FC\r\n",
         "File RZ41902_15_3.sx has records after its S9 end record (line 1),Abort Procedure"},
        {page1 + "S2!!\r\n" + page2 + "S9030000FC\r\n",
         "File New Sx Not Create,Abort Procedure\nRZ41902_15_3.sx, line 2: a character that is not "
         "a hexadecimal digit at column 3"},
        // Damage outside the bank pages would be copied into the image the loader writes.
        {page1 + "S206208000EEEE7E\r\n" + page2 + "S9030000FC\r\n",
         "File New Sx Not Create,Abort Procedure\nRZ41902_15_3.sx, line 2: bad checksum 0x7E, the "
         "bytes give 0x7D"},
        {"S0030000FC\r\nS9030000FC\r\n",
         "No bank was inserted: no new image was made,Abort Procedure"},
        {"S0030000FC\r\n" + page1 + "S70500000000FA\r\n",
         "File RZ41902_15_3.sx has no S9 end record,Abort Procedure"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last_message);
        test::write_file(base, c.base);
        sink.entries.clear();
        window.FormShow();
        window.BitBtnExecuteClick();
        ASSERT_FALSE(sink.entries.empty());
        EXPECT_EQ(sink.texts().back(), c.last_message);
        EXPECT_EQ(test::read_file(merged), "an image of an earlier run");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(record)) << "the loader was started";
}

TEST_F(FirmwareWindow, AStoppedBuildEndsTheSequenceBeforeTheWindow) {
    fs::remove_all(state.project_dir / "bin");
    EXPECT_FALSE(run_update_device_steps(state, banks, sink, clock));
    EXPECT_EQ(sink.texts().back(), "Cannot create file \"" +
                                       (state.project_dir / "bin" / "bank1.bin").string() +
                                       "\". No such file or directory");

    // A project folder that vanished leaves no project: nothing is read or written.
    state.project_dir.clear();
    EXPECT_FALSE(run_update_device_steps(state, banks, sink, clock));
    EXPECT_EQ(sink.texts().back(), "Project not valid");
    window.FormShow();
    EXPECT_FALSE(window.executeButton()->isEnabled());
}

TEST_F(FirmwareWindow, AMissingImageIsReportedOverAWindowThatIsLaidOut) {
    QWidget main;
    main.resize(500, 300);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QtMessageSink boxes;
    TFModifyFileSx shown{state, boxes, detached_program_starter(), &main};
    state.pdo_layout = 1;
    // The message box is closed as a user would, once it is up.
    QString boxText;
    bool windowWasUp = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            windowWasUp = shown.windowHandle() && shown.windowHandle()->isVisible();
            box->accept();
        }
    });
    closer.start(50);
    shown.open();
    QTest::qWait(400);
    closer.stop();
    EXPECT_TRUE(boxText.startsWith("Error file RZ41902_8_8.sx not found"));
    // The box comes over the window on the screen, not from inside its show event.
    EXPECT_TRUE(windowWasUp);
    EXPECT_FALSE(shown.executeButton()->isEnabled());
    // The whole window with its controls, not a strip of its title height.
    EXPECT_GE(shown.height(), shown.sizeHint().height());
    EXPECT_LE(shown.executeButton()->mapTo(&shown, QPoint(0, 0)).y() +
                  shown.executeButton()->height(),
              shown.height());
}

} // namespace
} // namespace mk
