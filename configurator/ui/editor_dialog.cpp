#include "ui/editor_dialog.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableView>
#include <QUndoStack>
#include <QVBoxLayout>

#include "core/guard.h"
#include "ui/edit_history.h"
#include "ui/find_bar.h"
#include "ui/grid_editing.h"
#include "ui/integer_cell_delegate.h"
#include "ui/screen_fit.h"
#include "ui/text_grid_model.h"

namespace mk {

namespace {

// The file-open dialog of the import: every format the import reads, then each on its own.
// The import decides the format by the content, so the filter only narrows the list.
QString chooseWorkbookFile(QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open"), folder,
        QStringLiteral("Spreadsheets (*.xls *.xlsx *.ods *.csv);;File EXCEL (*.xls);;"
                       "Excel workbooks (*.xlsx);;OpenDocument spreadsheets (*.ods);;"
                       "CSV files (*.csv)"));
}

QPushButton* barButton(const QString& caption, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter ends a cell's edit and never presses a button by itself: "OK" closes the window.
    b->setAutoDefault(false);
    return b;
}

} // namespace

EditorDialog::EditorDialog(const QString& objectName, const QString& caption, MessageSink& sink,
                           Transfer transfer, QWidget* parent)
    : QDialog(parent), sink_(sink), pages_(new QTabWidget(this)),
      ok_(barButton(QStringLiteral("OK"), QStringLiteral("okButton"), this)),
      cancel_(barButton(QStringLiteral("Cancel"), QStringLiteral("cancelButton"), this)),
      history_(new QUndoStack(this)), chooseWorkbook_(chooseWorkbookFile) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setModal(true);
    connect(ok_, &QPushButton::clicked, this, &EditorDialog::BitBtn1Click);
    connect(cancel_, &QPushButton::clicked, this, &EditorDialog::BitBtn2Click);

    auto* bar = new QHBoxLayout;
    bar->addWidget(ok_);
    bar->addWidget(cancel_);
    bar->addStretch(1);
    if (transfer == Transfer::ExportImport) {
        export_ = barButton(QStringLiteral("Export"), QStringLiteral("exportButton"), this);
        import_ = barButton(QStringLiteral("Import"), QStringLiteral("importButton"), this);
        bar->addWidget(export_);
        bar->addWidget(import_);
        connect(export_, &QPushButton::clicked, this, &EditorDialog::BtnExportClick);
        connect(import_, &QPushButton::clicked, this, &EditorDialog::BtnImportClick);
    }
    // The page holder never takes the focus: where a window hides its tab bar, Tab would
    // otherwise stop on the invisible bar for good.
    pages_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(bar);
    addHistoryKeys();
}

void EditorDialog::addHistoryKeys() {
    addUndoKeys(this, history_);
}

void EditorDialog::addFindKeys() {
    auto* find = new QAction(this);
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, findBar_, &GridFindBar::open);
    auto* next = new QAction(this);
    next->setShortcut(QKeySequence(Qt::Key_F3));
    auto* previous = new QAction(this);
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    // With nothing to look for yet, F3 opens the bar.
    const auto again = [this](bool forward) {
        if (findBar_->field()->text().trimmed().isEmpty())
            findBar_->open();
        else
            findBar_->findNext(forward);
    };
    connect(next, &QAction::triggered, this, [again] { again(true); });
    connect(previous, &QAction::triggered, this, [again] { again(false); });
    addActions({find, next, previous});
}

void EditorDialog::shareUndoKeys(QLineEdit* field) {
    field->installEventFilter(this);
    field->setProperty("mkSharesUndo", true);
}

QTableView* EditorDialog::addGridPage(const QString& title, QAbstractItemModel* model) {
    grid_ = new QTableView;
    grid_->setObjectName(QStringLiteral("grid"));
    grid_->setModel(model);
    grid_->setAccessibleName(title);
    // Column N numbers the rows, so the view's own row header would only repeat it.
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid_->horizontalHeader()->setHighlightSections(false);
    // Blocks of cells are selected, emptied with Delete, copied and pasted as spreadsheets do.
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    new GridEditing(grid_);
    // Tab goes on to the next control, as on every other control of the window; the arrow keys
    // move between cells. A grid that kept Tab for its cells would hold the keyboard user inside.
    grid_->setTabKeyNavigation(false);
    // Typing into a cell edits it in place. A click on the selected cell does not: its delayed
    // editor would open over text already being typed and select it, so the next key replaced it.
    grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    // The grid gets its final size from the layout, after the window's own resize event, so
    // the columns follow the grid's resizing rather than the window's.
    grid_->installEventFilter(this);
    // Cells "OK" would refuse are framed.
    grid_->setItemDelegate(new MarkedCellDelegate(grid_));
    if (auto* cells = qobject_cast<TextGridModel*>(model)) {
        cells->setHistory(history_);
        // What Undo or Redo changed is shown: the cells become the selection, in view.
        connect(cells, &TextGridModel::stepApplied, this,
                [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                    grid_->setCurrentIndex(topLeft);
                    grid_->selectionModel()->select(QItemSelection(topLeft, bottomRight),
                                                    QItemSelectionModel::ClearAndSelect);
                    grid_->scrollTo(topLeft);
                });
    }
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(grid_, 1);
    findBar_ = new GridFindBar(grid_, page);
    shareUndoKeys(findBar_->field());
    column->addWidget(findBar_);
    addFindKeys();
    pages_->addTab(page, title);
    return grid_;
}

void EditorDialog::setColumnWidthRule(std::function<int(int, int)> rule) {
    columnWidth_ = std::move(rule);
}

void EditorDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The start size suits a desktop screen; a small or scaled one gets a window that fits.
    fitIntoScreen(this);
    // A window restored from the task bar gets a show event from the system too; reloading
    // then would throw away what the user has typed since the window opened.
    if (!event->spontaneous()) {
        // The history belongs to one opening: the file is read afresh.
        history_->clear();
        if (findBar_)
            findBar_->hide();
        FormShow();
    }
}

bool EditorDialog::eventFilter(QObject* watched, QEvent* event) {
    // Not offered to the field: the window's shortcut takes the key.
    if (watched->property("mkSharesUndo").toBool() && leavesUndoToWindow(watched, event))
        return true;
    if (watched == grid_ && event->type() == QEvent::Resize)
        FormResize();
    return QDialog::eventFilter(watched, event);
}

void EditorDialog::FormResize() {
    if (!grid_ || !columnWidth_ || !grid_->model())
        return;
    const int columns = grid_->model()->columnCount();
    const int width = columnWidth_(grid_->width(), columns);
    for (int c = 0; c < columns; ++c)
        grid_->setColumnWidth(c, width);
}

void EditorDialog::commitOpenEditor() {
    // A cell still being edited belongs to the table the user confirms, even when "OK" was
    // reached without taking the focus from the cell.
    if (!grid_)
        return;
    const QModelIndex current = grid_->currentIndex();
    if (QWidget* editor = grid_->indexWidget(current)) {
        QAbstractItemDelegate* delegate = grid_->itemDelegateForIndex(current);
        emit delegate->commitData(editor);
        emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void EditorDialog::BitBtn1Click() {
    commitOpenEditor();
    // A refusal or a failed check shows its message and keeps the window open, and so does a
    // "No"; a cell that is not a number or a failed write ends the step with its own text.
    // Nothing is written in any of these cases.
    run_guarded(sink_, [&] {
        if (!session_.may_save(sink_) || !validate() || !capacityAllows() ||
            !session_.may_replace(sink_))
            return;
        save();
        accept();
    });
}

void EditorDialog::BitBtn2Click() {
    reject();
}

void EditorDialog::reject() {
    // What is being typed into a cell counts as a change too.
    commitOpenEditor();
    if (EditSession::may_discard(edited(), sink_))
        QDialog::reject();
}

void EditorDialog::setCapacityCheck(CapacityCheck check) {
    capacityCheck_ = std::move(check);
}

bool EditorDialog::capacityAllows() {
    if (!capacityCheck_)
        return true;
    const std::optional<std::string> reason = capacityCheck_(session_.file(), document());
    return !reason || sink_.ask(save_anyway_question(*reason));
}

void EditorDialog::setWorkbookChooser(WorkbookChooser chooser) {
    chooseWorkbook_ = std::move(chooser);
}

void EditorDialog::BtnExportClick() {
    // What is being typed into a cell belongs to the table the user exports.
    commitOpenEditor();
    run_guarded(sink_, [&] { exportTable(); });
}

void EditorDialog::BtnImportClick() {
    run_guarded(sink_, [&] {
        const QString file =
            chooseWorkbook_(this, QString::fromStdString(transferFolder().string()));
        if (file.isEmpty())
            return;
        // A cell editor left open would write its old text over the imported table.
        commitOpenEditor();
        importWorkbook(std::filesystem::path(file.toStdString()));
    });
}

} // namespace mk
