// The main window's port item at the top of the Service menu: it shows the port open now
// (its path and, where the settings name it otherwise, that name) and opens the port
// dialog, which writes "port" and "baud" into the settings file.
#pragma once

#include <QObject>

#include <functional>

#include "app/prompter.h"
#include "app/settings_file.h"
#include "gui/window_output.h"
#include "link/port_list.h"

class QAction;
class QMenu;
class QWidget;

namespace kv::link {
class Link;
}

namespace kv {

class PortMenu : public QObject {
public:
    // openPort opens the port as "Open COM port" does (the history told too); the ports
    // listed are those under portRoots; the dialog is shown over window.
    PortMenu(QAction *item, QMenu *service, QWidget *window, link::Link &link, Prompter &prompter,
             const IniFile &ini, WindowOutput &out, std::function<bool()> openPort,
             const link::PortRoots &portRoots);

    // The item's text brought up to date with the port open now.
    void ShowPortState();
    // At the first activation, after the port could not be opened: one question, then the
    // port dialog.
    void OfferPortChoice();

private:
    void ChoosePortItem();
    // Runs the port dialog and writes its choice into the settings file; true when a port
    // was chosen and written.
    bool ChoosePort();

    QAction *item_;
    QWidget *window_;
    link::Link &link_;
    Prompter &prompter_;
    const IniFile &ini_;
    WindowOutput &out_;
    std::function<bool()> openPort_;
    const link::PortRoots &portRoots_;
};

} // namespace kv
