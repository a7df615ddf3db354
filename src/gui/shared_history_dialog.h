// Service > "Shared History...": the connection string of the shared history (the settings
// key SharedHistory) entered, tested and cleared. The test connects as the forwarder does
// (at most the 3-second connect time-out) and shows the outcome with any password masked.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

class TSharedHistoryDialog : public QDialog {
    Q_OBJECT

public:
    TSharedHistoryDialog(const std::string &conninfo, QWidget *parent = nullptr);

    std::string Conninfo() const;

    QLineEdit *conninfo = nullptr;
    QPushButton *test = nullptr;
    QPushButton *clear = nullptr;
    QLabel *result = nullptr;

public slots:
    void TestClick();
};
