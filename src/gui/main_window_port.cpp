// TForm1's port item at the top of the Service menu: it shows the port open now (its path
// and, where the settings name it otherwise, that name) and opens the port dialog, which
// writes "port" and "baud" into the settings file.
#include <QAction>
#include <QMenu>

#include "gui/main_window.h"
#include "gui/port_dialog.h"
#include "link/link.h"
#include "link/port_name.h"

namespace {

// A menu text shows "&" only doubled; a single one marks the next letter.
QString MenuText(const std::string &text) {
    return QString::fromStdString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

void TForm1::BuildPortItem() {
    Port1 = Service1->addAction(QStringLiteral("Port..."));
    Port1->setObjectName(QStringLiteral("Port1"));
    connect(Port1, &QAction::triggered, this, &TForm1::Port1Click);
    // The link may open the port by itself (the first command does): the item is brought up
    // to date whenever the menu opens.
    connect(Service1, &QMenu::aboutToShow, this, &TForm1::ShowPortState);
}

void TForm1::ShowPortState() {
    const std::string name = link_->OpenedPortName();
    Port1->setText(name.empty() ? QStringLiteral("Port...")
                                : QStringLiteral("Port: ") + MenuText(kv::link::PortShown(name)) +
                                      QStringLiteral("..."));
}

bool TForm1::ChoosePort() {
    PortDialog dlg(this, kv::link::ListPorts(portRoots_), kv::ReadPortSetting(ini_));
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const kv::PortSetting chosen = dlg.Chosen();
    if (chosen.port.empty())
        return false;
    const kv::FileResult saved = kv::WritePortSetting(ini_, chosen);
    if (!saved) {
        AddLog("The port could not be saved in " + ini_.FileName() + ": " + saved.error);
        return false;
    }
    return true;
}

void TForm1::Port1Click() {
    // An open port is opened again on the new choice, as the next opening reads it anyway.
    if (ChoosePort() && link_->PortOpen())
        OpenComPort();
    ShowPortState();
}

void TForm1::OfferPortChoice() {
    const std::string question = "The port " + kv::link::PortShown(kv::ReadPortSetting(ini_).port) +
                                 " could not be opened. Choose the serial port now?";
    if (ctx_.prompter.Message("Port", question, kv::MsgIcon::Question, kv::MsgButtons::YesNo) !=
        kv::IdYes)
        return;
    if (ChoosePort())
        OpenComPort();
    ShowPortState();
}
