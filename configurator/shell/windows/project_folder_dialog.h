#pragma once

#include <QDialog>
#include <filesystem>
#include <optional>

class QTreeWidget;
class QTreeWidgetItem;

namespace mk {

// Folder chooser for "Open project": shows the PROJECTS folder as its only top-level entry and
// the folders below it (links to folders included), so the user cannot leave PROJECTS. The
// current project is preselected. Folder names that are not UTF-8 are shown with their odd bytes
// written out (\xE9), preselected and chosen by their bytes.
class ProjectFolderDialog : public QDialog {
    Q_OBJECT
public:
    ProjectFolderDialog(const std::filesystem::path& root, const std::filesystem::path& current,
                        QWidget* parent = nullptr);

    // The folder selected when the dialog was accepted.
    std::optional<std::filesystem::path> chosenFolder() const;
    // Selects the entry of a folder below the root, expanding its parents; false when absent.
    bool selectFolder(const std::filesystem::path& folder);
    QTreeWidget* tree() const { return tree_; }

private:
    QTreeWidgetItem* makeItem(const std::filesystem::path& folder);
    void fillChildren(QTreeWidgetItem* item);
    std::filesystem::path pathOf(const QTreeWidgetItem* item) const;

    std::filesystem::path root_;
    QTreeWidget* tree_;
};

} // namespace mk
