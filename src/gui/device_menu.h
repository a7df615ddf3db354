// The main window's device operations: the four buttons, the Device menu's commands and the
// timed current series. It reads the parameter fields, runs the operations of
// device/operations.h, shows what comes back and records it.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "app/comm_state.h"
#include "device/parameters.h"
#include "gui/app_context.h"
#include "gui/window_output.h"
#include "link/port_list.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace kv::device {
class SeriesPort;
struct CurrentSample;
} // namespace kv::device
namespace kv::history {
class Recorder;
struct SeriesCount;
} // namespace kv::history

namespace kv {

// The main window's widgets the device operations read and drive; the window builds and
// names them.
struct DeviceWidgets {
    QLineEdit *fusecurrent, *zerooffset, *overloadtimer, *multiply, *avgi;
    QCheckBox *average, *vref;
    QPushButton *sendData, *getData, *relay, *getCurrent; // BitBtn1..BitBtn4
    QAction *info, *timerOn, *timerInterval, *lastValues, *lastStoredValues, *calcCrc, *restart;
    QTimer *timer; // Timer1, one tick a second while the series runs
    // The Service menu, whose device commands of its own go before serviceBefore.
    QMenu *service;
    QAction *serviceBefore;
};

class DeviceMenu : public QObject {
public:
    // Each measurement of the series or of "Get Current" is handed to plot (nullptr for one
    // that failed); the series' port is found again among the ports under portRoots.
    DeviceMenu(const DeviceWidgets &w, link::Link &link, Prompter &prompter, AppContext &ctx,
               CommState &state, const IniFile &ini, WindowOutput &out,
               const history::Recorder &history,
               std::function<void(const device::CurrentSample *)> plot,
               const link::PortRoots &portRoots);
    // A timed series still running is recorded as far as it went.
    ~DeviceMenu() override;

    device::ParameterEntries Entries() const;

private:
    void SendData();
    void GetData();
    void Relay();
    void GetCurrent();
    void Info();
    void Restart();
    void GetLastValues(bool stored);
    void TimerOnOff(); // the item has toggled its own check mark when this runs
    void TimerTick();
    void SetTimerInterval();
    void CalcCrc();
    void BuildServiceItems();

    DeviceWidgets w_;
    link::Link &link_;
    Prompter &prompter_;
    AppContext &ctx_;
    CommState &state_;
    const IniFile &ini_;
    WindowOutput &out_;
    const history::Recorder &history_;
    std::function<void(const device::CurrentSample *)> plot_;
    const link::PortRoots &portRoots_;
    // The timed series running since the item was checked, recorded when it stops, and its
    // port across an unplug.
    std::unique_ptr<history::SeriesCount> series_;
    std::unique_ptr<device::SeriesPort> seriesPort_;
};

} // namespace kv
