#include "tables/windows/TFemcyMB2.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/guard.h"
#include "tables/emcy_schema.h"
#include "tables/windows/emcy_list_models.h"
#include "tables/windows/list_view.h"
#include "ui/edit_history.h"
#include "ui/qt_text.h"

namespace mk {

namespace {

QLineEdit* field(const QString& label, const QString& objectName, QFormLayout* form,
                 QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setAccessibleName(label);
    form->addRow(label, edit);
    return edit;
}

QPushButton* button(const QString& caption, const QString& objectName, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFemcyMB2::TFemcyMB2(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : EditorDialog(QStringLiteral("TFemcyMB2"), QStringLiteral("Set Translate EMCY"), sink,
                   Transfer::None, parent),
      state_(state), model_(new EmcyListModel(this)) {
    session().set_voice(kEmcyVoice);
    auto* page = new QWidget;
    list_ = makeListView(QStringLiteral("emcyList"), QStringLiteral("List of EMCY"), model_, page);
    onPick(list_, [this] { lvEmcyMouseUp(); });

    auto* form = new QFormLayout;
    id_ = field(QStringLiteral("ID EMCY"), QStringLiteral("idEmcyEdit"), form, page);
    errorCode_ =
        field(QStringLiteral("EMCY Error Code"), QStringLiteral("errorCodeEdit"), form, page);
    errorRegister_ =
        field(QStringLiteral("Error Register"), QStringLiteral("errorRegisterEdit"), form, page);
    for (QLineEdit* e : {id_, errorCode_, errorRegister_})
        shareUndoKeys(e);
    auto* newEmcy = button(QStringLiteral("New EMCY"), QStringLiteral("newEmcyButton"), page);
    auto* deleteEmcy =
        button(QStringLiteral("Delete EMCY"), QStringLiteral("deleteEmcyButton"), page);
    auto* modifyEmcy =
        button(QStringLiteral("Modify EMCY"), QStringLiteral("modifyEmcyButton"), page);
    connect(newEmcy, &QPushButton::clicked, this, &TFemcyMB2::btnNewEmcyClick);
    connect(deleteEmcy, &QPushButton::clicked, this, &TFemcyMB2::btnDeleteEmcyClick);
    connect(modifyEmcy, &QPushButton::clicked, this, &TFemcyMB2::btnModifyEmcyClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(newEmcy);
    buttons->addWidget(deleteEmcy);
    buttons->addWidget(modifyEmcy);
    auto* right = new QVBoxLayout;
    right->addLayout(form);
    right->addLayout(buttons);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(list_, 3);
    layout->addLayout(right, 2);

    // One page and no tabs: the window is a single form.
    pages()->setTabBarAutoHide(true);
    pages()->setDocumentMode(true);
    pages()->addTab(page, windowTitle());
    setTabOrder(list_, id_);
    setTabOrder(id_, errorCode_);
    setTabOrder(errorCode_, errorRegister_);
    setTabOrder(errorRegister_, newEmcy);
    setTabOrder(newEmcy, deleteEmcy);
    setTabOrder(deleteEmcy, modifyEmcy);
    setTabOrder(modifyEmcy, okButton());
    setTabOrder(okButton(), cancelButton());
    resize(720, 420);
}

void TFemcyMB2::FormShow() {
    // Every opening starts from the file: edits of an earlier, cancelled opening are gone.
    for (QLineEdit* e : {id_, errorCode_, errorRegister_})
        e->clear();
    const std::filesystem::path file = state_.table_path(emcy_file::schema);
    session().open(file);
    table_ = load_emcy_table(file, sink_);
    if (table_.fault())
        session().incomplete()->push_back(table_.fault()->file_name);
    loaded_ = table_.rows();
    model_->setRows(table_.rows());
    // The first thing to do is usually to type a new row; the list offers no row until one is
    // picked.
    id_->setFocus();
}

void TFemcyMB2::lvEmcyMouseUp() {
    run_guarded(sink_, [&] {
        const auto row = selectedRow(list_);
        if (!row)
            return;
        const EmcyRow& r = table_.rows().at(*row);
        id_->setText(qs(r.id));
        errorCode_->setText(qs(r.error_code));
        errorRegister_->setText(qs(r.error_register));
    });
}

EmcyRow TFemcyMB2::typedRow() const {
    return {ss(id_->text()), ss(errorCode_->text()), ss(errorRegister_->text())};
}

void TFemcyMB2::showFailure(std::string_view message) {
    sink_.show(message, MessageKind::Error);
}

void TFemcyMB2::change(const QString& text, const std::function<void()>& action) {
    std::vector<EmcyRow> before = table_.rows();
    run_guarded(sink_, action);
    recordStep<std::vector<EmcyRow>>(history(), text, std::move(before), table_.rows(),
                                     [this](const std::vector<EmcyRow>& rows) {
                                         table_.restore_rows(rows);
                                         model_->setRows(rows);
                                     });
}

void TFemcyMB2::btnNewEmcyClick() {
    change(QStringLiteral("New EMCY"), [&] {
        if (const auto failure = table_.add(typedRow()))
            return showFailure(*failure);
        model_->appendRow(table_.rows().back());
    });
}

void TFemcyMB2::btnDeleteEmcyClick() {
    change(QStringLiteral("Delete EMCY"), [&] {
        const auto row = selectedRow(list_);
        if (!row)
            return;
        table_.remove(row);
        model_->removeRowAt(*row);
        // No row is selected afterwards, as after any deletion: a second click on "Delete EMCY"
        // does not remove the neighbouring row the view would otherwise select.
        list_->selectionModel()->clear();
    });
}

void TFemcyMB2::btnModifyEmcyClick() {
    change(QStringLiteral("Modify EMCY"), [&] {
        const auto row = selectedRow(list_);
        if (const auto failure = table_.modify(row, typedRow()))
            return showFailure(*failure);
        if (row)
            model_->replaceRow(*row, table_.rows()[*row]);
    });
}

bool TFemcyMB2::validate() {
    return true;
}

void TFemcyMB2::save() {
    // Refused with its own message when the file was not read to its end.
    save_emcy_table(table_, state_.table_path(emcy_file::schema));
}

std::string TFemcyMB2::document() const {
    return serialize_emcy_table(table_);
}

bool TFemcyMB2::edited() const {
    return table_.rows() != loaded_;
}

} // namespace mk
