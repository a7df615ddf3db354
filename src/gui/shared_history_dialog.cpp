#include "gui/shared_history_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

#include "history/shared_store.h"

namespace hi = kv::history;

TSharedHistoryDialog::TSharedHistoryDialog(const std::string &text, QWidget *parent)
    : QDialog(parent) {
    setObjectName("SharedHistoryDialog");
    setWindowTitle(QStringLiteral("Shared History"));
    auto *hint = new QLabel(
        QStringLiteral("PostgreSQL connection string, e.g. "
                       "postgresql://korvane@db.example:5432/korvane?sslmode=require\n"
                       "Keep the password in ~/.pgpass or PGPASSWORD. Empty: no shared history."),
        this);
    conninfo = new QLineEdit(QString::fromStdString(text), this);
    conninfo->setObjectName("conninfo");
    conninfo->setMinimumWidth(520);
    test = new QPushButton(QStringLiteral("Test Connection"), this);
    test->setObjectName("test");
    connect(test, &QPushButton::clicked, this, &TSharedHistoryDialog::TestClick);
    clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName("clear");
    connect(clear, &QPushButton::clicked, this, [this] {
        conninfo->clear();
        result->clear();
    });
    result = new QLabel(this);
    result->setObjectName("result");
    result->setWordWrap(true);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *row = new QHBoxLayout;
    row->addWidget(test);
    row->addWidget(clear);
    row->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(conninfo);
    layout->addLayout(row);
    layout->addWidget(result);
    layout->addWidget(box);
}

std::string TSharedHistoryDialog::Conninfo() const {
    return conninfo->text().trimmed().toStdString();
}

// Run here, in the dialog, while the user waits for its answer: at most one connect
// time-out. The device's link is not involved.
void TSharedHistoryDialog::TestClick() {
    const std::string text = Conninfo();
    if (text.empty()) {
        result->setText(QStringLiteral("No shared history set."));
        return;
    }
    if (!hi::SharedAvailable()) {
        result->setText(QString::fromUtf8(hi::kNoSharedInBuild));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    hi::SharedStore store(text);
    const hi::Status s = store.Open();
    result->setText(QString::fromStdString(s ? "Connected to " + store.Shown() +
                                                   " (schema version " +
                                                   std::to_string(hi::kSharedSchemaVersion) + ")."
                                             : s.message));
}
