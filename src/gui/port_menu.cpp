#include "gui/port_menu.h"

#include <QAction>
#include <QMenu>

#include "app/comm_state.h"
#include "gui/port_dialog.h"
#include "gui/window_placement.h"
#include "link/link.h"
#include "link/port_name.h"

namespace kv {

PortMenu::PortMenu(QAction *item, QMenu *service, QWidget *window, link::Link &link,
                   Prompter &prompter, const IniFile &ini, WindowOutput &out,
                   std::function<bool()> openPort, const link::PortRoots &portRoots)
    : item_(item), window_(window), link_(link), prompter_(prompter), ini_(ini), out_(out),
      openPort_(std::move(openPort)), portRoots_(portRoots) {
    connect(item_, &QAction::triggered, this, [this] { ChoosePortItem(); });
    // The link may open the port by itself (the first command does): the item is brought up
    // to date whenever the menu opens.
    connect(service, &QMenu::aboutToShow, this, [this] { ShowPortState(); });
}

void PortMenu::ShowPortState() {
    const std::string name = link_.OpenedPortName();
    item_->setText(name.empty() ? QStringLiteral("Port...")
                                : QStringLiteral("Port: ") + MenuText(link::PortShown(name)) +
                                      QStringLiteral("..."));
}

bool PortMenu::ChoosePort() {
    PortDialog dlg(window_, link::ListPorts(portRoots_), ReadPortSetting(ini_));
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const PortSetting chosen = dlg.Chosen();
    if (chosen.port.empty())
        return false;
    const FileResult saved = WritePortSetting(ini_, chosen);
    if (!saved) {
        out_.AddLog("The port could not be saved in " + ini_.FileName() + ": " + saved.error);
        return false;
    }
    return true;
}

void PortMenu::ChoosePortItem() {
    // An open port is opened again on the new choice, as the next opening reads it anyway.
    if (ChoosePort() && link_.PortOpen())
        openPort_();
    ShowPortState();
}

void PortMenu::OfferPortChoice() {
    const std::string question = "The port " + link::PortShown(ReadPortSetting(ini_).port) +
                                 " could not be opened. Choose the serial port now?";
    if (prompter_.Message("Port", question, MsgIcon::Question, MsgButtons::YesNo) != IdYes)
        return;
    if (ChoosePort())
        openPort_();
    ShowPortState();
}

} // namespace kv
