#include "shell/windows/project_folder_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <system_error>
#include <vector>

#include "ui/qt_text.h"

namespace mk {

namespace fs = std::filesystem;

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;
} // namespace

ProjectFolderDialog::ProjectFolderDialog(const fs::path& root, const fs::path& current,
                                         QWidget* parent)
    : QDialog(parent), root_(root), tree_(new QTreeWidget(this)) {
    setWindowTitle(QStringLiteral("Select directory of project"));
    tree_->setHeaderHidden(true);
    tree_->setHeaderLabel(QStringLiteral("Project folders"));
    tree_->setAccessibleName(QStringLiteral("Project folders"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Folders are listed when their parent is opened, so a large PROJECTS opens at once.
    connect(tree_, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { fillChildren(item); });
    // A double click chooses a folder without subfolders; one with subfolders opens instead.
    // Folders are listed lazily, so an entry not opened yet is listed before it is judged.
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        fillChildren(item);
        if (item->childCount() == 0)
            accept();
    });

    QTreeWidgetItem* top = makeItem(root_);
    tree_->addTopLevelItem(top);
    top->setExpanded(true);
    if (current.empty() || !selectFolder(current))
        tree_->setCurrentItem(top);
    resize(420, 360);
}

QTreeWidgetItem* ProjectFolderDialog::makeItem(const fs::path& folder) {
    auto* item = new QTreeWidgetItem(QStringList{displayName(folder.filename().native())});
    // The path is kept as the bytes of the file system: a folder name that is not UTF-8 would
    // not survive a QString, and the folder chosen would be one that does not exist.
    const std::string& bytes = folder.native();
    item->setData(0, kPathRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    item->setData(0, kFilledRole, false);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

fs::path ProjectFolderDialog::pathOf(const QTreeWidgetItem* item) const {
    const QByteArray bytes = item->data(0, kPathRole).toByteArray();
    return fs::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void ProjectFolderDialog::fillChildren(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool())
        return;
    item->setData(0, kFilledRole, true);
    std::vector<fs::path> folders;
    std::error_code ec;
    for (fs::directory_iterator it(pathOf(item), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        // A link to a folder is listed like the folder: the user put it into PROJECTS, start-up
        // restores it and the editors save through it, so it is a project like any other. A
        // link that leads nowhere is no folder.
        if (it->is_directory(type_ec))
            folders.push_back(it->path());
    }
    std::sort(folders.begin(), folders.end());
    for (const auto& f : folders)
        item->addChild(makeItem(f));
    if (folders.empty())
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool ProjectFolderDialog::selectFolder(const fs::path& folder) {
    const fs::path relative = folder.lexically_relative(root_);
    if (relative.empty() || *relative.begin() == "..")
        return false;
    QTreeWidgetItem* item = tree_->topLevelItem(0);
    for (const auto& part : relative) {
        if (part == ".")
            continue;
        fillChildren(item);
        item->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (pathOf(item->child(i)).filename() == part)
                next = item->child(i);
        if (!next)
            return false;
        item = next;
    }
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
    return true;
}

std::optional<fs::path> ProjectFolderDialog::chosenFolder() const {
    if (result() != QDialog::Accepted || !tree_->currentItem())
        return std::nullopt;
    return pathOf(tree_->currentItem());
}

} // namespace mk
