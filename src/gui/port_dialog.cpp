#include "gui/port_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The columns, each a field of link::PortFields.
constexpr struct {
    const char *field;
    const char *title;
} kColumns[] = {
    {"port", "Port"},     {"manufacturer", "Maker"}, {"product", "Product"},
    {"serial", "Serial"}, {"by_id", "By-id name"},   {"description", "Description"},
};

QString FieldOf(const kv::link::PortInfo &p, const char *field) {
    for (const auto &[key, value] : kv::link::PortFields(p))
        if (key == field)
            return QString::fromStdString(value);
    return {};
}

} // namespace

PortDialog::PortDialog(QWidget *parent, std::vector<kv::link::PortInfo> ports,
                       const kv::PortSetting &current)
    : QDialog(parent), ports_(std::move(ports)), currentBaud_(current.baud) {
    setObjectName(QStringLiteral("PortDialog"));
    setWindowTitle(QStringLiteral("Port"));

    table_ = new QTableWidget(int(ports_.size()), int(std::size(kColumns)), this);
    table_->setObjectName(QStringLiteral("ports"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    QStringList titles;
    for (const auto &c : kColumns)
        titles << QString::fromLatin1(c.title);
    table_->setHorizontalHeaderLabels(titles);
    int selected = -1;
    for (int row = 0; row < int(ports_.size()); ++row) {
        const kv::link::PortInfo &p = ports_[std::size_t(row)];
        for (int col = 0; col < int(std::size(kColumns)); ++col)
            table_->setItem(row, col, new QTableWidgetItem(FieldOf(p, kColumns[col].field)));
        if (current.port == p.path || (!p.byId.empty() && current.port == p.byId))
            selected = row;
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);

    port_ = new QLineEdit(QString::fromStdString(current.port), this);
    port_->setObjectName(QStringLiteral("port"));
    baud_ = new QComboBox(this);
    baud_->setObjectName(QStringLiteral("baud"));
    baud_->setEditable(true);
    for (int b : kv::link::kOfferedBauds)
        baud_->addItem(QString::number(b));
    baud_->setCurrentText(QString::number(current.baud));

    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
        const int row = table_->currentRow();
        if (row >= 0 && row < int(ports_.size()))
            port_->setText(
                QString::fromStdString(kv::link::PortNameToKeep(ports_[std::size_t(row)])));
    });
    if (selected >= 0)
        table_->selectRow(selected);
    connect(table_, &QTableWidget::itemDoubleClicked, this, &QDialog::accept);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Port:"), port_);
    form->addRow(QStringLiteral("Baud:"), baud_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(ports_.empty() ? QStringLiteral("No serial ports found.")
                                                : QStringLiteral("Serial ports:"),
                                 this));
    layout->addWidget(table_);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(980, 320);
}

kv::PortSetting PortDialog::Chosen() const {
    bool ok = false;
    const int baud = baud_->currentText().trimmed().toInt(&ok);
    return {port_->text().trimmed().toStdString(), ok && baud > 0 ? baud : currentBaud_};
}
