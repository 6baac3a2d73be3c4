#pragma once

#include <QDialog>

#include "core/message_sink.h"
#include "core/project_state.h"

class QPushButton;
class QTabWidget;
class QTableView;

namespace mk {

class SdoTableModel;

// The SDO access table editor (caption "SDO"): one tab "CanA-ModBus" with the 1500-row grid,
// and "OK", "Cancel", "Export", "Import" below it. Every opening reloads `sdo.xml`; "OK"
// validates the whole table and rewrites the file, "Cancel" discards the edits.
class TFSdoMB : public QDialog {
    Q_OBJECT
public:
    TFSdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    SdoTableModel* model() const { return model_; }
    QTableView* grid() const { return grid_; }
    QTabWidget* pages() const { return pages_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    // Wired by the spreadsheet import and CSV export; disabled until then.
    QPushButton* exportButton() const { return export_; }
    QPushButton* importButton() const { return import_; }

    // Handlers, named after the control and the event.
    void FormShow();     // opening: empty grid, then the file
    void FormResize();   // every column one eleventh of the grid's width
    void BitBtn1Click(); // "OK": validate, save, close
    void BitBtn2Click(); // "Cancel"

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void commitOpenEditor();

    const ProjectState& state_;
    MessageSink& sink_;
    SdoTableModel* model_;
    QTabWidget* pages_;
    QTableView* grid_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* export_;
    QPushButton* import_;
};

} // namespace mk
