#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <sstream>

#include "core/user_error.h"
#include "emcy_window_support.h"
#include "shell/windows/TFAbout.h"
#include "shell/windows/TFMosaicoreFirmWare.h"
#include "shell/windows/TFsaveproj.h"
#include "shell/windows/program_icon.h"
#include "shell/windows/project_folder_dialog.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::EditorButton;
using mk::TFMosaicoreFirmWare;

class MainWindow : public ::testing::Test {
protected:
    fs::path projects() const { return dir.path() / "PROJECTS"; }
    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
};

TEST_F(MainWindow, FirstStartInAnEmptyFolderAndCloseWithAnEmptyName) {
    {
        TFMosaicoreFirmWare w(state, dir.path(), sink);
        EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :");
        EXPECT_FALSE(w.windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_EQ(w.deviceAddressField()->text(), "0.0.0.0");
        EXPECT_EQ(w.deviceAddressField()->accessibleName(), "Device address");
        w.LbButton1Click();
        // Closing again (the event loop's end) does not write a second time.
        fs::remove(dir.path() / "Mosaicor_Kv.ini");
        w.FormClose();
        EXPECT_FALSE(fs::exists(dir.path() / "Mosaicor_Kv.ini"));
    }
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    w.close();
    EXPECT_EQ(read_file(dir.path() / "Mosaicor_Kv.ini"), "[lastproj]\r\nprojectname=\r\n");
}

TEST_F(MainWindow, EditorButtonsNeedAProjectDirectory) {
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    int opened = 0;
    w.setDispatch(EditorButton::Sdo, [&] { ++opened; });
    EXPECT_TRUE(w.button(EditorButton::Sdo)->isEnabled());
    EXPECT_FALSE(w.button(EditorButton::TransmitPdo)->isEnabled());

    // Without a project the PROJECTS folder is the project directory: editors open there.
    w.button(EditorButton::Sdo)->click();
    EXPECT_EQ(opened, 1);

    // The project folder vanished and the chooser was cancelled: no project is current.
    fs::create_directories(projects() / "p1");
    w.afterOpenProject(projects() / "p1");
    fs::remove(projects() / "p1");
    w.beforeOpenProject();
    w.afterOpenProject(std::nullopt);
    w.button(EditorButton::Sdo)->click();
    w.btn_str_lng1aClick(EditorButton::Ping);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{"Project not valid", "Project not valid"}));
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :");
}

TEST_F(MainWindow, UpDateDeviceNeedsAProject) {
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    int runs = 0;
    w.setUpdateDevice([&] { ++runs; });
    // The first start has no project: nothing is built into the PROJECTS folder.
    w.updateDeviceButton()->click();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Project not valid"});
    fs::create_directories(projects() / "p1");
    w.afterOpenProject(projects() / "p1");
    w.updateDeviceButton()->click();
    EXPECT_EQ(runs, 1);
}

TEST_F(MainWindow, AnEditorErrorIsShownAndTheProgramGoesOn) {
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    w.setDispatch(EditorButton::Communication,
                  [] { throw mk::UserError("Error in reading file XML"); });
    w.button(EditorButton::Communication)->click();
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].text, "Error in reading file XML");
    EXPECT_EQ(sink.entries[0].kind, mk::MessageKind::Error);
}

TEST_F(MainWindow, NewProjectDialogCreatesAndTheCaptionFollows) {
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    mk::TFsaveproj dialog(state, sink, &w);
    dialog.setDestination(state.projects_dir);
    dialog.FormShow();
    EXPECT_EQ(dialog.windowTitle(), "New project");
    EXPECT_EQ(dialog.nameField()->accessibleName(), "Project name");

    dialog.BitBtn1Click();
    dialog.BitBtn1Click();
    EXPECT_EQ(sink.texts(),
              (std::vector<std::string>{"Name project not valid", "Name project not valid"}));
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.nameField()->setText("plant3");
    dialog.BitBtn1Click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    w.afterNewProject(true);
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :plant3");
    EXPECT_TRUE(fs::is_directory(projects() / "plant3" / "bin"));

    // The same name again keeps the dialog open with the name as typed.
    dialog.FormShow();
    dialog.nameField()->setText("plant3");
    dialog.BitBtn1Click();
    EXPECT_EQ(sink.texts().back(), "Name project not valid because directory already exists");
    EXPECT_EQ(dialog.nameField()->text(), "plant3");

    // Cancel: the caption loses the name, the project stays current.
    dialog.BitBtn2Click();
    w.afterNewProject(false);
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :");
    EXPECT_EQ(state.project_dir, projects() / "plant3");
    w.close();
    EXPECT_EQ(read_file(dir.path() / "Mosaicor_Kv.ini"), "[lastproj]\r\nprojectname=plant3\r\n");
}

TEST_F(MainWindow, FolderChooserStaysInsideProjects) {
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    fs::create_directories(projects() / "a" / "inner");
    fs::create_directories(projects() / "b");
    fs::create_directories(dir.path() / "outside");
    fs::create_directory_symlink(dir.path() / "outside", projects() / "link");

    mk::ProjectFolderDialog chooser(projects(), projects() / "a" / "inner");
    EXPECT_EQ(chooser.windowTitle(), "Select directory of project");
    ASSERT_EQ(chooser.tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* top = chooser.tree()->topLevelItem(0);
    EXPECT_EQ(top->text(0), "PROJECTS");
    EXPECT_EQ(top->childCount(), 3); // a, b and the link the user put into PROJECTS
    EXPECT_EQ(chooser.tree()->currentItem()->text(0), "inner");

    chooser.accept();
    ASSERT_TRUE(chooser.chosenFolder().has_value());
    w.afterOpenProject(chooser.chosenFolder());
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :a/inner");

    // Choosing PROJECTS itself leaves no project name.
    EXPECT_FALSE(chooser.selectFolder(dir.path() / "outside"));
    chooser.tree()->setCurrentItem(top);
    w.afterOpenProject(chooser.chosenFolder());
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :");
    EXPECT_EQ(state.project_name, "");

    mk::ProjectFolderDialog cancelled(projects(), projects());
    cancelled.reject();
    EXPECT_FALSE(cancelled.chosenFolder().has_value());
}

// A linked folder in PROJECTS is a project like any other: start-up restores it, and the
// chooser lists and preselects it, so OK keeps it current.
TEST_F(MainWindow, ALinkedProjectFolderIsOfferedAndKept) {
    fs::create_directories(projects());
    fs::create_directories(dir.path() / "elsewhere" / "plant3");
    fs::create_directory_symlink(dir.path() / "elsewhere" / "plant3", projects() / "plant3");
    fs::create_directory_symlink(dir.path() / "missing", projects() / "dangling");
    std::ofstream(dir.path() / "Mosaicor_Kv.ini") << "[lastproj]\nprojectname=plant3\n";
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    ASSERT_EQ(state.project_dir, projects() / "plant3");

    mk::ProjectFolderDialog chooser(projects(), state.project_dir);
    ASSERT_NE(chooser.tree()->currentItem(), nullptr);
    EXPECT_EQ(chooser.tree()->currentItem()->text(0), "plant3");
    EXPECT_EQ(chooser.tree()->topLevelItem(0)->childCount(), 1); // a dangling link is no folder
    chooser.accept();
    w.afterOpenProject(chooser.chosenFolder());
    EXPECT_EQ(state.project_dir, projects() / "plant3");
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :plant3");
}

// Folder names made on another system need not be UTF-8: they are shown whole, preselected and
// opened at their real path. A name with a line break opens, but cannot be remembered.
TEST_F(MainWindow, OddFolderNamesAreShownOpenedAndRememberedOnlyWhenTheyCanBe) {
    fs::create_directories(projects() / "caf\xE9");
    fs::create_directories(projects() / "caf\xE8");
    fs::create_directories(projects() / "a\nb");
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    mk::ProjectFolderDialog chooser(projects(), projects() / "caf\xE9");
    QTreeWidgetItem* top = chooser.tree()->topLevelItem(0);
    ASSERT_EQ(top->childCount(), 3);
    EXPECT_EQ(top->child(1)->text(0), "caf\\xE8");
    EXPECT_EQ(chooser.tree()->currentItem(), top->child(2));
    chooser.accept();
    w.afterOpenProject(chooser.chosenFolder());
    EXPECT_EQ(state.project_dir, projects() / "caf\xE9");
    EXPECT_EQ(w.windowTitle(), "Veltrisa Mosaicor RQ41902 Translate CAN TO MODBUS :caf\\xE9");
    EXPECT_TRUE(sink.entries.empty());

    w.afterOpenProject(projects() / "a\nb");
    EXPECT_EQ(sink.texts(),
              std::vector<std::string>{"The name of this project holds a line break, which "
                                       "Mosaicor_Kv.ini cannot hold: the next start will open no "
                                       "project."});
    w.close();
    EXPECT_EQ(read_file(dir.path() / "Mosaicor_Kv.ini"), "[lastproj]\r\nprojectname=\r\n");
}

// A read-only program folder and a home that cannot be written (here: a file in its place) leave
// no folder for the settings: closing the window says that they are lost, where and why.
TEST_F(MainWindow, SettingsThatCannotBeWrittenAreSaidAtClose) {
    std::ofstream(dir.path() / "home");
    const fs::path data = dir.path() / "home" / ".local" / "share" / "Mosaicor_Kv";
    TFMosaicoreFirmWare w(state, mk::ProgramFolders(data, dir.path()), sink);
    w.close();
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].text, "The last project could not be stored: \"" +
                                        (data / "Mosaicor_Kv.ini").string() +
                                        "\" cannot be written (Not a directory).");
    EXPECT_EQ(sink.entries[0].kind, mk::MessageKind::Error);
}

TEST_F(MainWindow, DoubleClickOpensAFolderWithSubfoldersAndChoosesALeaf) {
    fs::create_directories(projects() / "a" / "inner");
    fs::create_directories(projects() / "b");
    // "a" has not been opened yet: its subfolders are still unlisted.
    mk::ProjectFolderDialog chooser(projects(), projects() / "b");
    QTreeWidgetItem* top = chooser.tree()->topLevelItem(0);
    ASSERT_EQ(top->childCount(), 2);
    QTreeWidgetItem* a = top->child(0);
    ASSERT_EQ(a->text(0), "a");
    emit chooser.tree()->itemDoubleClicked(a, 0);
    EXPECT_NE(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(a->childCount(), 1);

    chooser.tree()->setCurrentItem(top->child(1));
    emit chooser.tree()->itemDoubleClicked(top->child(1), 0);
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.chosenFolder(), projects() / "b");
}

// The Tab key itself, one round from "New project": the steps top down, the web address once.
TEST_F(MainWindow, TabKeyFollowsTheStepsTopDown) {
    TFMosaicoreFirmWare w(state, dir.path(), sink);
    for (const EditorButton b :
         {EditorButton::Communication, EditorButton::Ping, EditorButton::Sdo,
          EditorButton::TranslateEmcy, EditorButton::EmcyWord, EditorButton::TranslatePdo,
          EditorButton::StorePdo, EditorButton::TransmitPdo})
        w.setDispatch(b, [] {});
    w.setUpdateDevice([] {});
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QWidget* start = nullptr;
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == "New project")
            start = b;
    ASSERT_NE(start, nullptr);
    const QStringList expected{"New project",
                               "Open project",
                               "Set Communication",
                               "Ping Device",
                               "Device address",
                               "Set SDO Access",
                               "Set Translate EMCY",
                               "Define EMCY Word",
                               "Set Translate PDO",
                               "Define store PDO",
                               "Set Transmit PDO",
                               "Up date Device",
                               "Web page",
                               "About",
                               "X"};
    EXPECT_EQ(mk::test::tabWalk(start).join(" | ").toStdString(),
              expected.join(" | ").toStdString());
    // Backwards the web address is one stop too: from "About" to it, then to "Up date Device".
    QWidget* about = nullptr;
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == "About")
            about = b;
    ASSERT_NE(about, nullptr);
    about->setFocus();
    QTest::keyClick(about, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), w.webLabel());
    QTest::keyClick(w.webLabel(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), w.updateDeviceButton());
    // The program's frame for assistive technology, with the program's icon at hand.
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&w);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->role(), QAccessible::Window);
    const QIcon icon = mk::configuratorIcon();
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(48).width(), 48);
}

TEST_F(MainWindow, AboutBoxTexts) {
    mk::TFAbout about;
    EXPECT_EQ(about.windowTitle(), "About...");
    EXPECT_FALSE(about.mailLabel()->isVisibleTo(&about));
    EXPECT_TRUE(TFMosaicoreFirmWare::webAddress().contains(".example"));
}

} // namespace
