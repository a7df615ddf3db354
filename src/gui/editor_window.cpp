#include "gui/editor_window.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

#include <filesystem>
#include <vector>

#include "corrtable/table_file.h"
#include "gui/main_window.h"
#include "gui/theme.h"
#include "gui/window_placement.h"

namespace {

using namespace kv::corrtable;

constexpr int kClientWidth = 471;
constexpr int kClientHeight = 374;
constexpr int kFieldsPerTab = 100;
constexpr std::array<int, 10> kRowTop{6, 36, 66, 95, 124, 153, 182, 211, 240, 269};
constexpr std::array<int, 10> kLabelTop{11, 41, 71, 100, 129, 159, 187, 217, 246, 274};
constexpr int kButtonTop = 339;
constexpr const char *kTableFilter = "*.epr|*.epr|*.*|*.*";

QFont SansFont(int pixels, bool bold) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

kv::FileDialog TableDialog(kv::FileDialog::Kind kind, const char *title) {
    kv::FileDialog d;
    d.kind = kind;
    d.title = title;
    d.filter = kTableFilter;
    d.defaultExt = ".epr";
    d.overwritePrompt = kind == kv::FileDialog::Kind::Save;
    d.mustExist = true; // the file (open) or its folder (save)
    return d;
}

// Runs a dialog; its next use starts from the chosen file's folder.
bool RunDialog(kv::Prompter &p, kv::FileDialog &d) {
    if (!p.RunFileDialog(d))
        return false;
    const auto folder = std::filesystem::path(d.fileName).parent_path();
    if (!folder.empty())
        d.initialDir = folder.string() + kv::PathSeparator();
    return true;
}

} // namespace

TForm4::TForm4(kv::AppContext &ctx, QWidget *parent) : QDialog(parent), ctx_(ctx) {
    BuildWidgets();
    FormCreate();
}

void TForm4::BuildWidgets() {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Correction table"));
    setFont(SansFont(11, false));
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);

    pg1 = new QTabWidget(this);
    pg1->setObjectName(QStringLiteral("pg1"));
    pg1->setGeometry(0, 0, kClientWidth, 331);
    pg1->setFont(SansFont(11, true));
    const std::array<QWidget **, 3> tabs{&ts1, &ts2, &ts3};
    const std::array<const char *, 3> captions{"0-99", "100-199", "200-223"};
    for (int t = 0; t < 3; ++t) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("ts%1").arg(t + 1));
        pg1->addTab(page, QString::fromLatin1(captions[static_cast<std::size_t>(t)]));
        *tabs[static_cast<std::size_t>(t)] = page;
    }

    const QFont fieldFont = SansFont(15, true);
    const QFont labelFont = SansFont(11, false);
    QWidget *previous = nullptr;
    for (int n = 0; n < kEntries; ++n) {
        QWidget *page = *tabs[static_cast<std::size_t>(n / kFieldsPerTab)];
        const int row = (n % kFieldsPerTab) / 10;
        const int column = n % 10;
        auto *e = new QLineEdit(QStringLiteral("0x00"), page);
        e->setObjectName(QStringLiteral("Edit%1").arg(n));
        e->setGeometry(14 + 44 * column, kRowTop[static_cast<std::size_t>(row)], 42, 24);
        e->setFont(fieldFont);
        Edit[static_cast<std::size_t>(n)] = e;
        // Tab runs along each row, then down, tab after tab.
        if (previous)
            setTabOrder(previous, e);
        previous = e;
    }
    // The check byte is set by CRC, not typed: read-only, silver, not reached by Tab.
    QLineEdit *check = Edit[kCheckIndex];
    check->setReadOnly(true);
    check->setFocusPolicy(Qt::ClickFocus);
    kv::SetFieldBackground(check, QColor(0xC0, 0xC0, 0xC0));

    int label = 0;
    for (int t = 0; t < 3; ++t) {
        const int rows = t < 2 ? 10 : 3;
        for (int row = 0; row < rows; ++row) {
            auto *l = new QLabel(QString::number(row), *tabs[static_cast<std::size_t>(t)]);
            l->setObjectName(QStringLiteral("Label%1").arg(label + 1));
            l->setFont(labelFont);
            l->move(3, kLabelTop[static_cast<std::size_t>(row)]);
            l->adjustSize();
            Label[static_cast<std::size_t>(label++)] = l;
        }
    }

    BitBtn1 = MakeButton("BitBtn1", QStringLiteral("Cancel"), 8, QStyle::SP_DialogCancelButton);
    BitBtn2 = MakeButton("BitBtn2", QStringLiteral("Write"), 83, QStyle::SP_DialogApplyButton);
    BitBtn3 = MakeButton("BitBtn3", QStringLiteral("Clear 00"), 158, QStyle::SP_DialogResetButton);
    BitBtn5 = MakeButton("BitBtn5", QStringLiteral("Load"), 243, QStyle::SP_DialogOpenButton);
    BitBtn6 = MakeButton("BitBtn6", QStringLiteral("Save"), 318, QStyle::SP_DialogSaveButton);
    BitBtn4 = MakeButton("BitBtn4", QStringLiteral("CRC"), 393, -1);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm4::reject);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm4::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TForm4::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TForm4::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TForm4::BitBtn6Click);
    pg1->setCurrentIndex(0);
}

QPushButton *TForm4::MakeButton(const char *name, const QString &text, int left, int icon) {
    auto *b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(left, kButtonTop, 70, 25);
    if (icon >= 0) {
        b->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
        b->setIconSize(QSize(16, 16));
    }
    // Enter in a field must not press a button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

void TForm4::FormCreate() {
    ctx_.CorrTable.fill(0);
    od = TableDialog(kv::FileDialog::Kind::Open, "Open");
    sd = TableDialog(kv::FileDialog::Kind::Save, "Save");
    od.initialDir = ctx_.paths.dir;
    sd.initialDir = ctx_.paths.dir;
}

void TForm4::ShowTable() {
    for (int n = 0; n < kEntries; ++n)
        Edit[static_cast<std::size_t>(n)]->setText(
            QString::fromStdString(EntryText(ctx_.CorrTable[static_cast<std::size_t>(n)])));
}

int TForm4::ReadTableEdits() {
    std::vector<std::string> texts;
    texts.reserve(kEntries);
    for (QLineEdit *e : Edit)
        texts.push_back(e->text().toStdString());
    const auto error = ReadFieldTexts(texts, ctx_.CorrTable);
    if (!error)
        return 1;
    QLineEdit *bad = Edit[static_cast<std::size_t>(error.index)];
    if (bad->parentWidget() == pg1->currentWidget())
        bad->setFocus(Qt::OtherFocusReason);
    kv::ShowError(ctx_.prompter, error.message);
    return 0;
}

kv::Problem TForm4::LoadTableFile(const std::string &fileName, CorrTableData &buffer) {
    auto message = LoadTableFileReporting(fileName, buffer, ctx_.prompter);
    ShowTable();
    return message;
}

void TForm4::BitBtn2Click() {
    if (ReadTableEdits() == 1)
        done(1);
}

void TForm4::BitBtn3Click() {
    // Without a question mark, unlike the other confirmations.
    if (kv::AskQuestion(ctx_.prompter, "Are you sure") != kv::IdYes)
        return;
    for (QLineEdit *e : Edit)
        e->setText(QStringLiteral("0"));
}

void TForm4::BitBtn4Click() {
    const auto crc = static_cast<std::int8_t>(TableCrc(ctx_.CorrTable));
    if (kv::AskQuestion(ctx_.prompter, "Set CRC " + EntryText(crc) + " into table?") != kv::IdYes)
        return;
    ctx_.CorrTable[kCheckIndex] = crc;
    Edit[kCheckIndex]->setText(QString::fromStdString(EntryText(crc)));
}

void TForm4::BitBtn5Click() {
    if (RunDialog(ctx_.prompter, od))
        LoadTableFile(od.fileName, ctx_.CorrTable);
}

void TForm4::BitBtn6Click() {
    if (!RunDialog(ctx_.prompter, sd))
        return;
    if (ReadTableEdits() == 0)
        return;
    if (kv::FileResult r = WriteTableFile(sd.fileName, ctx_.CorrTable, &ctx_.prompter); !r)
        kv::ShowError(ctx_.prompter, FileWriteErrorText(sd.fileName, r.error));
}

void TForm4::showEvent(QShowEvent *event) {
    kv::CenterOn(this, kv::OwnerWindow(this, ctx_));
    QDialog::showEvent(event);
}

void TForm4::reject() {
    done(kv::IdCancel);
}
