// TForm1: the main window "Korvane" with the fuse parameters, the log pane and the menus.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/comm_state.h"
#include "app/notice.h"
#include "app/settings_file.h"
#include "gui/app_context.h"
#include "link/host.h"
#include "link/port_list.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class TCurrentPlotWindow;

namespace kv::device {
class CurrentPlot;
class SeriesPort;
struct CurrentSample;
} // namespace kv::device
namespace kv::link {
class Link;
}
namespace kv::history {
class BackgroundForwarder;
class Recorder;
struct Entry;
struct SeriesCount;
} // namespace kv::history

class TForm1 : public QMainWindow, public kv::link::LinkHost {
    Q_OBJECT

public:
    explicit TForm1(kv::AppContext &ctx, QWidget *parent = nullptr);
    ~TForm1() override;

    kv::AppContext &ctx() { return ctx_; }
    kv::link::Link &link() { return *link_; }
    kv::CommState &commState() { return CommState; }
    const kv::IniFile &ini() const { return ini_; }

    // One line on top of the log pane (while the log is on), trimmed, LogLines kept.
    void AddLog(std::string_view text);
    void SetAllDataEnabled(bool enabled);
    bool OpenComPort();
    // Shows an operation's notices: boxes through the prompter, lines in the log pane.
    void Show(const kv::Notices &notices);
    // Records an operation in the unit history (main_window_history.cpp); a record that
    // cannot be written is reported in the log pane.
    void Record(const std::optional<kv::history::Entry> &entry);
    kv::history::Recorder &history() { return *history_; }
    // The unit the records are made for ("" until one is set), as "Unit..." sets it.
    void SetUnit(const std::string &unit);

    int ShowErrorValue(const std::string &message, int value);

    // Log pane lines, top (newest) first.
    std::vector<std::string> LogLinesShown() const;

    // LinkHost
    void WriteLogLine(kv::link::LineKind kind, std::string_view text) override;
    void SetStatusPanel(int panel, std::string_view text) override;
    void Beep() override;
    void ShowError(std::string_view text) override;
    void ProcessEvents() override;
    void RunOnMainThread(const std::function<void()> &fn) override;

    // Widgets, by their names.
    QWidget *panel = nullptr;
    QLineEdit *fusecurrent = nullptr;
    QLineEdit *zerooffset = nullptr;
    QLineEdit *overloadtimer = nullptr;
    QLineEdit *multiply = nullptr;
    QLineEdit *avgi = nullptr;
    QCheckBox *average = nullptr;
    QCheckBox *vref = nullptr;
    QPushButton *BitBtn1 = nullptr; // Send Data
    QPushButton *BitBtn2 = nullptr; // Get Data
    QPushButton *BitBtn3 = nullptr; // Relay
    QPushButton *BitBtn4 = nullptr; // Get Current
    QPlainTextEdit *m = nullptr;
    QStatusBar *sb1 = nullptr;
    QLabel *sb1Panel0 = nullptr;
    QLabel *sb1Panel1 = nullptr;
    QTimer *Timer1 = nullptr;

    QAction *About1 = nullptr;
    QAction *Exit1 = nullptr;
    QAction *Open1 = nullptr;
    QAction *Close1 = nullptr;
    QAction *Info1 = nullptr;
    QAction *Enabletimer1 = nullptr;
    QAction *SetCurrentTimerInterval1 = nullptr;
    QAction *LastADCmeasure1 = nullptr;
    QAction *GetLastValues1 = nullptr;
    QAction *GetLastStoredValues1 = nullptr;
    QAction *CalcCRC1 = nullptr;
    QAction *Restart1 = nullptr;
    QAction *AllDataChange1 = nullptr;
    QAction *data1 = nullptr;
    QAction *Correctiontable1 = nullptr;
    QAction *ReadCorrectionTable1 = nullptr;
    QAction *GenerateCORRTABLEINCFile1 = nullptr;
    QAction *Calc1 = nullptr;
    // The program's own menu after "Data": unit history and table safety items.
    QMenu *Service1 = nullptr;
    QAction *Port1 = nullptr;              // "Port...", "Port: /dev/ttyS0 (COM1)..." while open
    QAction *Unit1 = nullptr;              // "Unit...", "Unit: SN-1234..." once set
    QAction *UnitHistory1 = nullptr;       // "Unit History"
    QAction *CalibrationRecord1 = nullptr; // "Calibration Record..."
    QAction *SharedHistory1 = nullptr;     // "Shared History..."
    QAction *VerifyCorrectionTable1 = nullptr;
    QAction *BackUpDeviceTable1 = nullptr;
    QAction *VerifyTableWrites1 = nullptr;
    QAction *CurrentPlot1 = nullptr;          // "Current Plot"
    QAction *TimestampsInLog1 = nullptr;      // "Timestamps in Log", checkable, off at start
    QAction *SaveLog1 = nullptr;              // "Save Log..."
    TCurrentPlotWindow *PlotWindow = nullptr; // made at its first opening

    // Hands a measurement of the timed series or of "Get Current" to the current plot;
    // nullptr for one that failed (main_window_bench.cpp).
    void PlotMeasurement(const kv::device::CurrentSample *sample);
    kv::device::CurrentPlot &plot() { return *plot_; }

    // Timed current measurement state (main thread only).
    int TimerTicks = 0;

public slots:
    // Program shell (main_window.cpp)
    void FormActivate();
    void About1Click();
    void Exit1Click();
    void Info1Click();
    void Restart1Click();
    void data1Click();
    void AllDataChange1Click();
    void Open1Click();
    void Close1Click();
    void fusecurrentEnter();
    void zerooffsetEnter();
    void overloadtimerEnter();
    void multiplyEnter();
    void avgiEnter();

    // Device operations (main_window_device.cpp)
    void BitBtn1Click(); // Send Data
    void BitBtn2Click(); // Get Data
    void BitBtn3Click(); // Relay
    void BitBtn4Click(); // Get Current
    void GetLastValues1Click();
    void GetLastStoredValues1Click();
    void Enabletimer1Click();
    void Timer1Timer();
    void SetCurrentTimerInterval1Click();
    void CalcCRC1Click();

    // Correction table (main_window_table.cpp)
    void Correctiontable1Click();
    void ReadCorrectionTable1Click();
    void GenerateCORRTABLEINCFile1Click();

    // Table safety items of the Service menu (main_window_service.cpp)
    void VerifyCorrectionTable1Click();
    void BackUpDeviceTable1Click();
    void VerifyTableWrites1Click();

    // Tools (main_window_tools.cpp)
    void LastADCmeasure1Click();
    void Calc1Click();

    // The port (main_window_port.cpp): choosing it, and the open port shown in its item
    void Port1Click();
    void ShowPortState();
    // Where the port list comes from (tests point it at a tree of their own).
    void SetPortRoots(const kv::link::PortRoots &roots) { portRoots_ = roots; }

    // Unit history (main_window_history.cpp)
    void Unit1Click();
    void UnitHistory1Click();
    void CalibrationRecord1Click();
    void SharedHistory1Click();

    // The bench items of the Service menu (main_window_bench.cpp)
    void CurrentPlot1Click();
    void SaveLog1Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *e) override;
    bool eventFilter(QObject *obj, QEvent *e) override;

private:
    void FormCreate();
    void FormCloseQuery(bool &canClose);
    void FormDestroy();
    void BuildWidgets();
    void BuildMenus();
    void BuildPortItem(); // at the top of the Service menu
    // At the first activation, after the port could not be opened: one question, then the
    // port dialog.
    void OfferPortChoice();
    // Runs the port dialog and writes its choice into the settings file; true when a port
    // was chosen and written.
    bool ChoosePort();
    void BuildHistoryItems(); // after it
    void StartHistory(const kv::StartupSettings &s);
    void HistoryPortOpened();
    void HistoryPortClosed();
    // The shared history's forwarder thread, (re)started for the setting; none without one.
    void StartForwarder(const std::string &conninfo);
    void BuildTableServiceItems();  // main_window_service.cpp
    void BuildDeviceServiceItems(); // main_window_device.cpp
    void BuildBenchItems();         // main_window_bench.cpp
    // Runs the Enter handler of a parameter field; other widgets have no hint.
    void ShowFieldHint(QObject *field);

    kv::AppContext &ctx_;
    kv::IniFile ini_;
    kv::CommState CommState;
    std::unique_ptr<kv::link::Link> link_;
    std::unique_ptr<kv::history::Recorder> history_;
    std::string reference_; // "ReferenceInstrument"
    std::string shared_;    // "SharedHistory"
    std::unique_ptr<kv::history::BackgroundForwarder> forwarder_;
    // The timed measurement running since Enabletimer1 was checked, recorded when it stops.
    std::unique_ptr<kv::history::SeriesCount> series_;
    std::unique_ptr<kv::device::SeriesPort> seriesPort_; // its port, across an unplug
    kv::link::PortRoots portRoots_;
    bool activationQueued_ = false; // FormActivate queued for the first activation
    // Every measurement since the start, also while the plot's window is closed.
    std::unique_ptr<kv::device::CurrentPlot> plot_;
};
