#include "gui/history_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/text_files.h"
#include "gui/app_context.h"
#include "history/render.h"
#include "history/store.h"

namespace hi = kv::history;

namespace {

QString Q(const std::string &s) {
    return QString::fromStdString(s);
}

} // namespace

THistoryWindow::THistoryWindow(kv::AppContext &ctx, hi::Store &store, std::string unit,
                               QWidget *parent)
    : QDialog(parent), ctx_(ctx), store_(store), unit_(std::move(unit)) {
    setObjectName("HistoryWindow");
    setWindowTitle(unit_.empty() ? QStringLiteral("Unit History")
                                 : QStringLiteral("Unit History: ") + Q(unit_));
    resize(900, 560);

    allUnits = new QCheckBox(QStringLiteral("All units"), this);
    allUnits->setObjectName("allUnits");
    // Without a unit set there is no current unit's history to narrow to.
    allUnits->setChecked(unit_.empty());
    allUnits->setEnabled(!unit_.empty());
    connect(allUnits, &QCheckBox::toggled, this, &THistoryWindow::Reload);

    problem = new QLabel(this);
    problem->setObjectName("problem");
    problem->setWordWrap(true);

    table = new QTableWidget(this);
    table->setObjectName("table");
    table->setColumnCount(8);
    table->setHorizontalHeaderLabels(
        {"Time (UTC)", "Unit", "Operation", "Result", "Port", "Station", "Operator", "Summary"});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    connect(table, &QTableWidget::itemSelectionChanged, this, &THistoryWindow::ShowSelected);

    data = new QPlainTextEdit(this);
    data->setObjectName("data");
    data->setReadOnly(true);
    data->setMaximumHeight(170);

    exportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportCsv->setObjectName("exportCsv");
    connect(exportCsv, &QPushButton::clicked, this, &THistoryWindow::ExportCsvClick);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName("close");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(allUnits);
    buttons->addStretch();
    buttons->addWidget(exportCsv);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(problem);
    layout->addWidget(table, 1);
    layout->addWidget(data);
    layout->addLayout(buttons);

    Reload();
}

void THistoryWindow::Reload() {
    hi::Query q{.newestFirst = true};
    if (!allUnits->isChecked())
        q.unit = unit_;
    hi::QueryResult r = store_.Read(q);
    records_ = std::move(r.records);
    // No file yet is no failure here: nothing has been recorded.
    const bool none = r.status.failure == hi::Failure::Missing;
    problem->setText(r.status || none ? QString() : Q(r.status.message));
    problem->setVisible(!r.status && !none);

    table->clearSelection();
    table->setRowCount(static_cast<int>(records_.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const hi::Record &rec = records_[static_cast<std::size_t>(row)];
        const std::string result = rec.ok ? "ok" : "failed: " + rec.message;
        const std::string cells[] = {rec.time,         rec.unit.empty() ? "-" : rec.unit,
                                     rec.operation,    result,
                                     rec.port,         rec.station,
                                     rec.operatorName, hi::Summary(rec)};
        for (int col = 0; col < 8; ++col)
            table->setItem(row, col, new QTableWidgetItem(Q(cells[col])));
    }
    table->resizeColumnsToContents();
    data->clear();
    exportCsv->setEnabled(!records_.empty());
}

void THistoryWindow::ShowSelected() {
    const QList<QTableWidgetItem *> sel = table->selectedItems();
    if (sel.isEmpty()) {
        data->clear();
        return;
    }
    const hi::Record &rec = records_[static_cast<std::size_t>(sel.front()->row())];
    // A record of a newer version's operation shows its stored name.
    std::string text =
        rec.time + "  " + (rec.Op() ? std::string(hi::OperationTitle(*rec.Op())) : rec.operation);
    if (!rec.info.empty())
        text += "\nInfo: " + rec.info;
    if (!rec.adapter.empty() || !rec.adapterSerial.empty())
        text += "\nAdapter: " + rec.adapter + " " + rec.adapterSerial;
    text += "\nTool version: " + rec.toolVersion + "\n" + hi::JsonLine(rec);
    data->setPlainText(Q(text));
}

void THistoryWindow::ExportCsvClick() {
    kv::FileDialog dlg{.kind = kv::FileDialog::Kind::Save,
                       .title = "Export CSV",
                       .filter = "CSV files (*.csv)|*.csv|All files (*.*)|*.*",
                       .defaultExt = ".csv",
                       .initialDir = {},
                       .fileName = unit_.empty() || allUnits->isChecked()
                                       ? "history.csv"
                                       : hi::UnitFileName("history", unit_, ".csv"),
                       .overwritePrompt = true};
    if (!ctx_.prompter.RunFileDialog(dlg))
        return;
    const kv::FileResult r = kv::WriteTextFile(hi::Render(records_, hi::ListingFormat::Csv),
                                               dlg.fileName, &ctx_.prompter);
    if (!r)
        kv::ShowError(ctx_.prompter, "Cannot write " + dlg.fileName + ": " + r.error);
}
