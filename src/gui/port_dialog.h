// Service > "Port...": the serial ports the system lists, with what it knows of each
// adapter, and the line speed. The port field also takes a path the list does not show (a
// pseudo-terminal, a link of one's own).
#pragma once

#include <QDialog>

#include <vector>

#include "app/comm_state.h"
#include "link/port_list.h"

class QComboBox;
class QLineEdit;
class QTableWidget;

class PortDialog : public QDialog {
    Q_OBJECT

public:
    PortDialog(QWidget *parent, std::vector<kv::link::PortInfo> ports,
               const kv::PortSetting &current);

    // The port and speed as they stand in the fields (a by-id name for a listed adapter
    // that has one); a speed that is no number keeps the one the settings held.
    kv::PortSetting Chosen() const;

private:
    std::vector<kv::link::PortInfo> ports_;
    int currentBaud_;
    QTableWidget *table_;
    QLineEdit *port_;
    QComboBox *baud_;
};
