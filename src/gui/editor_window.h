// TForm4: the correction table editor "Correction table".
#pragma once

#include <QDialog>

#include <array>
#include <optional>
#include <string>

#include "corrtable/table.h"
#include "gui/app_context.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(kv::AppContext &ctx, QWidget *parent = nullptr);

    // Copies CorrTable entries 0..223 into the fields.
    void ShowTable();
    // Stores the fields into CorrTable; 1 when all were valid, 0 at the first invalid one
    // (after its error box, with the focus on it when its tab is shown).
    int ReadTableEdits();
    // Fills buffer from the table file (its message in an error box, and returned), then
    // ShowTable.
    kv::Problem LoadTableFile(const std::string &fileName, kv::corrtable::CorrTableData &buffer);

    // Widgets, by their names.
    QTabWidget *pg1 = nullptr;
    QWidget *ts1 = nullptr;
    QWidget *ts2 = nullptr;
    QWidget *ts3 = nullptr;
    std::array<QLineEdit *, kv::corrtable::kEntries> Edit{};
    std::array<QLabel *, 23> Label{}; // Label1 .. Label23
    QPushButton *BitBtn1 = nullptr;   // Cancel
    QPushButton *BitBtn2 = nullptr;   // Write
    QPushButton *BitBtn3 = nullptr;   // Clear 00
    QPushButton *BitBtn4 = nullptr;   // CRC
    QPushButton *BitBtn5 = nullptr;   // Load
    QPushButton *BitBtn6 = nullptr;   // Save

    // The open and save dialogs; each keeps its last file between uses.
    kv::FileDialog od;
    kv::FileDialog sd;

public slots:
    void BitBtn2Click(); // Write
    void BitBtn3Click(); // Clear 00
    void BitBtn4Click(); // CRC
    void BitBtn5Click(); // Load
    void BitBtn6Click(); // Save

    // Cancel, Esc and the close box all end with modal result 2.
    void reject() override;

protected:
    // Centred on the main window each time it is shown.
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void BuildWidgets();
    QPushButton *MakeButton(const char *name, const QString &text, int left, int icon);

    kv::AppContext &ctx_;
};
