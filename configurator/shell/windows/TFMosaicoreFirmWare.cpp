#include "shell/windows/TFMosaicoreFirmWare.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <iostream>
#include <iterator>
#include <system_error>

#include "core/atomic_file.h"
#include "core/guard.h"
#include "shell/directories.h"
#include "shell/project_ops.h"
#include "shell/settings_file.h"
#include "shell/windows/TFAbout.h"
#include "shell/windows/TFsaveproj.h"
#include "shell/windows/project_folder_dialog.h"
#include "ui/link_label.h"
#include "ui/qt_text.h"
#include "ui/screen_fit.h"

namespace mk {

namespace {

QPushButton* makeButton(const char* caption, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setMinimumWidth(150);
    return b;
}

} // namespace

TFMosaicoreFirmWare::TFMosaicoreFirmWare(ProjectState& state, const ProgramFolders& folders,
                                         MessageSink& sink, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowMinimizeButtonHint),
      state_(state), sink_(sink) {
    // FormCreate: directories, settings file, last project.
    buildLayout();
    setCaption(start_up(state_, folders));
    // The process ends with this window however it is closed; the settings are written once.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { FormClose(); });
}

QString TFMosaicoreFirmWare::webAddress() {
    return QStringLiteral("https://www.veltrisa.example/rq41902");
}

void TFMosaicoreFirmWare::buildLayout() {
    setObjectName(QStringLiteral("TFMosaicoreFirmWare"));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(10);

    const auto stepLabel = [this](const char* text) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        return l;
    };
    const auto editor = [this](EditorButton which, const char* caption) {
        QPushButton* b = makeButton(caption, this);
        editorButtons_[which] = b;
        connect(b, &QPushButton::clicked, this, [this, which] { btn_str_lng1aClick(which); });
        // Enabled once a window is attached to the button (setDispatch).
        b->setEnabled(false);
        b->setToolTip(QStringLiteral("Not available in this build"));
        return b;
    };

    auto* newProject = makeButton("New project", this);
    auto* openProject = makeButton("Open project", this);
    connect(newProject, &QPushButton::clicked, this, &TFMosaicoreFirmWare::NewaClick);
    connect(openProject, &QPushButton::clicked, this, &TFMosaicoreFirmWare::OpenaClick);

    deviceAddress_ = new QLineEdit(qs(kDefaultDeviceAddress), this);
    deviceAddress_->setAccessibleName(QStringLiteral("Device address"));
    deviceAddress_->setToolTip(QStringLiteral("Device address"));
    deviceAddress_->setMinimumWidth(150);
    connect(deviceAddress_, &QLineEdit::textChanged, this,
            [this](const QString& text) { state_.device_address = text.toStdString(); });

    updateDevice_ = makeButton("Up date Device", this);
    updateDevice_->setEnabled(false);
    updateDevice_->setToolTip(QStringLiteral("Not available in this build"));
    connect(updateDevice_, &QPushButton::clicked, this, &TFMosaicoreFirmWare::CreateBinaClick);

    int row = 0;
    grid->addWidget(stepLabel("Step 1"), row, 0);
    grid->addWidget(newProject, row, 1);
    grid->addWidget(openProject, row, 2);
    ++row;
    grid->addWidget(stepLabel("Step 2"), row, 0);
    grid->addWidget(editor(EditorButton::Communication, "Set Communication"), row, 1);
    grid->addWidget(editor(EditorButton::Ping, "Ping Device"), row, 2);
    grid->addWidget(deviceAddress_, row, 3);
    ++row;
    grid->addWidget(stepLabel("Step 3"), row, 0);
    grid->addWidget(editor(EditorButton::Sdo, "Set SDO Access"), row, 1);
    ++row;
    grid->addWidget(stepLabel("Step 4"), row, 0);
    grid->addWidget(editor(EditorButton::TranslateEmcy, "Set Translate EMCY"), row, 1);
    grid->addWidget(editor(EditorButton::EmcyWord, "Define EMCY Word"), row, 2);
    ++row;
    grid->addWidget(stepLabel("Step 5"), row, 0);
    grid->addWidget(editor(EditorButton::TranslatePdo, "Set Translate PDO"), row, 1);
    grid->addWidget(editor(EditorButton::StorePdo, "Define store PDO"), row, 2);
    ++row;
    grid->addWidget(stepLabel("Step 6"), row, 0);
    grid->addWidget(editor(EditorButton::TransmitPdo, "Set Transmit PDO"), row, 1);
    ++row;
    grid->addWidget(stepLabel("Step 7"), row, 0);
    grid->addWidget(updateDevice_, row, 1);
    grid->setColumnStretch(4, 1);

    auto* about = new QPushButton(QStringLiteral("About"), this);
    auto* close = new QPushButton(QStringLiteral("X"), this);
    close->setAccessibleName(QStringLiteral("Close"));
    close->setToolTip(QStringLiteral("Close"));
    close->setFixedWidth(32);
    connect(about, &QPushButton::clicked, this, &TFMosaicoreFirmWare::AboutClick);
    connect(close, &QPushButton::clicked, this, &TFMosaicoreFirmWare::LbButton1Click);
    auto* top = new QHBoxLayout;
    top->addStretch(1);
    top->addWidget(about);
    top->addWidget(close);

    webLabel_ = makeLinkLabel(webAddress(), webAddress(), this);
    webLabel_->setAccessibleName(QStringLiteral("Web page"));
    connect(webLabel_, &QLabel::linkActivated, this, [this](const QString&) { Label8Click(); });
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(webLabel_);

    // The keyboard follows the steps top down, as the user reads them; widgets created out of
    // that order (the address field, "Up date Device") would otherwise break the sequence.
    QWidget* const order[] = {newProject,
                              openProject,
                              editorButtons_[EditorButton::Communication],
                              editorButtons_[EditorButton::Ping],
                              deviceAddress_,
                              editorButtons_[EditorButton::Sdo],
                              editorButtons_[EditorButton::TranslateEmcy],
                              editorButtons_[EditorButton::EmcyWord],
                              editorButtons_[EditorButton::TranslatePdo],
                              editorButtons_[EditorButton::StorePdo],
                              editorButtons_[EditorButton::TransmitPdo],
                              updateDevice_,
                              webLabel_,
                              about,
                              close};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    auto* page = new QWidget(this);
    setCentralWidget(page);
    auto* outer = new QVBoxLayout(page);
    outer->addLayout(top);
    outer->addLayout(grid);
    outer->addStretch(1);
    outer->addLayout(bottom);
}

void TFMosaicoreFirmWare::setDialogs(TFsaveproj* saveproj, TFAbout* about) {
    saveproj_ = saveproj;
    about_ = about;
}

void TFMosaicoreFirmWare::setDispatch(EditorButton which, std::function<void()> open) {
    dispatch_[which] = std::move(open);
    editorButtons_.at(which)->setEnabled(true);
    editorButtons_.at(which)->setToolTip(QString());
}

void TFMosaicoreFirmWare::setUpdateDevice(std::function<void()> run) {
    updateDeviceRun_ = std::move(run);
    updateDevice_->setEnabled(true);
    updateDevice_->setToolTip(QString());
}

void TFMosaicoreFirmWare::setDeviceAddress(const QString& address) {
    deviceAddress_->setText(address);
}

void TFMosaicoreFirmWare::setCaption(const std::string& caption) {
    // A project folder's name need not be UTF-8.
    setWindowTitle(displayName(caption));
}

void TFMosaicoreFirmWare::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    fitIntoScreen(this);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TFMosaicoreFirmWare::FormShow() {
    reload_pdo_layout(state_);
}

void TFMosaicoreFirmWare::NewaClick() {
    if (!saveproj_)
        return;
    saveproj_->setDestination(state_.projects_dir);
    afterNewProject(saveproj_->exec() == QDialog::Accepted);
}

void TFMosaicoreFirmWare::afterNewProject(bool accepted) {
    if (accepted) {
        setCaption(caption_for(state_.project_name));
        reload_pdo_layout(state_);
    } else {
        // The project stays current; only the caption loses its name.
        setCaption(caption_for(""));
    }
}

void TFMosaicoreFirmWare::beforeOpenProject() {
    forget_vanished_project_dir(state_);
}

void TFMosaicoreFirmWare::OpenaClick() {
    beforeOpenProject();
    ProjectFolderDialog dialog(state_.projects_dir, state_.project_dir, this);
    std::optional<std::filesystem::path> chosen;
    if (dialog.exec() == QDialog::Accepted)
        chosen = dialog.chosenFolder();
    afterOpenProject(chosen);
}

void TFMosaicoreFirmWare::afterOpenProject(const std::optional<std::filesystem::path>& chosen) {
    setCaption(apply_opened_project(state_, chosen));
    // Such a folder opens and saves like any other; only the settings file cannot name it.
    if (!can_remember(state_.project_name))
        sink_.show(kMsgNameNotRemembered, MessageKind::Warning);
}

void TFMosaicoreFirmWare::btn_str_lng1aClick(EditorButton which) {
    if (!state_.has_project_dir()) {
        sink_.show(kMsgProjectNotValid, MessageKind::Information);
        return;
    }
    const auto it = dispatch_.find(which);
    if (it == dispatch_.end())
        return;
    run_guarded(sink_, it->second);
}

void TFMosaicoreFirmWare::CreateBinaClick() {
    if (!updateDeviceRun_)
        return;
    // Without a project the PROJECTS folder stands in for one, which the editors may open, but
    // it is no project to build: its bank files would land in PROJECTS/bin.
    if (!state_.has_project_dir() || state_.project_name.empty()) {
        sink_.show(kMsgProjectNotValid, MessageKind::Information);
        return;
    }
    run_guarded(sink_, updateDeviceRun_);
}

void TFMosaicoreFirmWare::AboutClick() {
    if (about_)
        about_->exec();
}

void TFMosaicoreFirmWare::LbButton1Click() {
    close();
}

void TFMosaicoreFirmWare::Label8Click() {
    QDesktopServices::openUrl(QUrl(webAddress()));
}

void TFMosaicoreFirmWare::closeEvent(QCloseEvent* event) {
    FormClose();
    // The user closed the window and is still there to read why the settings are lost.
    if (!settingsProblem_.empty())
        sink_.show(settingsProblem_, MessageKind::Error);
    settingsProblem_.clear();
    event->accept();
}

void TFMosaicoreFirmWare::FormClose() {
    if (settingsWritten_)
        return;
    settingsWritten_ = true;
    try {
        write_last_project(settings_path(state_), state_.project_name);
    } catch (const std::system_error& e) {
        // When the session ends the program, a box could hold up the logout: the reason goes to
        // the terminal, and to a box only when the user closed the window (closeEvent).
        std::cerr << "Cannot write " << settings_path(state_) << ": " << e.code().message() << '\n';
        settingsProblem_ = settings_not_written_message(
            settings_path(state_), write_failure_reason(settings_path(state_), e.code()));
    }
}

} // namespace mk
