// "Unit History": the unit history as a table, newest first, of the current unit or of
// all units, with the selected record's data below and an export of the rows as CSV.
#pragma once

#include <QDialog>

#include <vector>

#include "history/record.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kv {
struct AppContext;
namespace history {
class Store;
}
} // namespace kv

class THistoryWindow : public QDialog {
    Q_OBJECT

public:
    THistoryWindow(kv::AppContext &ctx, kv::history::Store &store, std::string unit,
                   QWidget *parent = nullptr);

    // Reads the records again; a file that cannot be read shows its reason.
    void Reload();
    const std::vector<kv::history::Record> &records() const { return records_; }

    QCheckBox *allUnits = nullptr;
    QTableWidget *table = nullptr;
    QPlainTextEdit *data = nullptr;
    QLabel *problem = nullptr;
    QPushButton *exportCsv = nullptr;

public slots:
    void ExportCsvClick();

private:
    void ShowSelected();

    kv::AppContext &ctx_;
    kv::history::Store &store_;
    std::string unit_;
    std::vector<kv::history::Record> records_;
};
