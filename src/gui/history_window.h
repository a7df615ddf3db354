// "Unit History": the unit history as a table, newest first, of the current unit or of
// all units, with the selected record's data below and an export of the rows as CSV. With
// a shared history: this station's records or all stations', and how many wait to be
// sent there.
#pragma once

#include <QDialog>

#include <vector>

#include "history/record.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kv {
struct AppContext;
namespace history {
class BackgroundForwarder;
class Store;
} // namespace history
} // namespace kv

class THistoryWindow : public QDialog {
    Q_OBJECT

public:
    // shared: the shared history's connection string ("" for none); forwarder: the main
    // window's, whose state the window shows (null for none).
    THistoryWindow(kv::AppContext &ctx, kv::history::Store &store, std::string unit,
                   std::string shared = {}, const kv::history::BackgroundForwarder *forwarder = {},
                   QWidget *parent = nullptr);

    // Reads the records again; a file that cannot be read shows its reason.
    void Reload();
    const std::vector<kv::history::Record> &records() const { return records_; }

    QCheckBox *allUnits = nullptr;
    QComboBox *stations = nullptr; // "This station", "All stations"
    QLabel *waiting = nullptr;     // the records waiting to be sent to the shared history
    QTableWidget *table = nullptr;
    QPlainTextEdit *data = nullptr;
    QLabel *problem = nullptr;
    QPushButton *exportCsv = nullptr;

public slots:
    void ExportCsvClick();
    // The forwarder's state as of now.
    void ShowWaiting();

private:
    void ShowSelected();

    kv::AppContext &ctx_;
    kv::history::Store &store_;
    std::string unit_;
    std::string shared_;
    const kv::history::BackgroundForwarder *forwarder_;
    std::vector<kv::history::Record> records_;
};
