// TForm1: the main window "Korvane" with the fuse parameters, the log pane and the menus.
// It builds every widget and menu item and names them (the window tests find them by name);
// the handlers of each menu live in a part of their own (device_menu, table_menu,
// history_menu, tools_menu, port_menu, bench_menu), given the services it needs.
#pragma once

#include <QMainWindow>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/comm_state.h"
#include "app/notice.h"
#include "app/settings_file.h"
#include "gui/app_context.h"
#include "gui/window_output.h"
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
class TForm2;
class TForm3;
class TForm4;
class TForm5;

namespace kv {
class BenchMenu;
class DeviceMenu;
class HistoryMenu;
class PortMenu;
class TableMenu;
class ToolsMenu;
} // namespace kv
namespace kv::device {
class CurrentPlot;
}
namespace kv::link {
class Link;
}
namespace kv::history {
class Recorder;
struct Entry;
} // namespace kv::history

class TForm1 : public QMainWindow, public kv::link::LinkHost, public kv::WindowOutput {
    Q_OBJECT

public:
    explicit TForm1(kv::AppContext &ctx, QWidget *parent = nullptr);
    ~TForm1() override;

    // The other windows, once they are made: the calibration window ("Graph" and the close
    // question), the correction table editor, "Last ADC measure" and "Calc ADC". A window
    // not given leaves its items doing nothing.
    void UseWindows(TForm2 *calibration, TForm4 *editor, TForm5 *lastAdc, TForm3 *calculator);

    kv::link::Link &link() { return *link_; }
    kv::CommState &commState() { return CommState; }
    const kv::IniFile &ini() const { return ini_; }
    kv::history::Recorder &history();
    kv::device::CurrentPlot &plot();

    void SetAllDataEnabled(bool enabled);
    // Opens the port as "Open COM port" does; false when it could not be opened.
    bool OpenComPort();
    // The unit the records are made for ("" for none), as "Unit..." sets it.
    void SetUnit(const std::string &unit);
    // Where the port list comes from (tests point it at a tree of their own).
    void SetPortRoots(const kv::link::PortRoots &roots) { portRoots_ = roots; }

    // WindowOutput
    void AddLog(std::string_view text) override;
    void Show(const kv::Notices &notices) override;
    void Record(const std::optional<kv::history::Entry> &entry) override;
    std::vector<std::string> LogLinesShown() const override;

    // LinkHost (SetStatusPanel is WindowOutput's too)
    void WriteLogLine(kv::link::LineKind kind, std::string_view text) override;
    void SetStatusPanel(int panel, std::string_view text) override;
    void Beep() override;
    void ShowError(std::string_view text) override;
    void ProcessEvents() override;
    void RunOnMainThread(const std::function<void()> &fn) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *e) override;
    bool eventFilter(QObject *obj, QEvent *e) override;

private:
    void BuildWidgets();
    void BuildMenus();
    void BuildParts(const kv::StartupSettings &s);
    void FormCreate(const kv::StartupSettings &s);
    void FormActivate();
    void FormCloseQuery(bool &canClose);
    // Runs the Enter handler of a parameter field; other widgets have no hint.
    void ShowFieldHint(QObject *field);
    void About1Click();
    void Exit1Click();
    void Open1Click();
    void Close1Click();
    void AllDataChange1Click();
    void data1Click();
    void fusecurrentEnter();
    void zerooffsetEnter();
    void overloadtimerEnter();
    void multiplyEnter();
    void avgiEnter();

    kv::AppContext &ctx_;
    kv::IniFile ini_;
    kv::CommState CommState;
    kv::link::PortRoots portRoots_;
    bool activationQueued_ = false; // FormActivate queued for the first activation
    TForm2 *calibration_ = nullptr;

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
    // The program's own menu after "Data": the port, unit history, table safety and bench.
    QMenu *Service1 = nullptr;
    QAction *Port1 = nullptr;              // "Port...", "Port: /dev/ttyS0 (COM1)..." while open
    QAction *Unit1 = nullptr;              // "Unit...", "Unit: SN-1234..." once set
    QAction *UnitHistory1 = nullptr;       // "Unit History"
    QAction *CalibrationRecord1 = nullptr; // "Calibration Record..."
    QAction *SharedHistory1 = nullptr;     // "Shared History..."
    QAction *VerifyCorrectionTable1 = nullptr;
    QAction *BackUpDeviceTable1 = nullptr;
    QAction *VerifyTableWrites1 = nullptr;
    QAction *CurrentPlot1 = nullptr;     // "Current Plot"
    QAction *TimestampsInLog1 = nullptr; // "Timestamps in Log", checkable, off at start
    QAction *SaveLog1 = nullptr;         // "Save Log..."
    QAction *benchSeparator_ = nullptr;  // before "Current Plot"

    // Made after the widgets, gone before them; the link goes last.
    std::unique_ptr<kv::link::Link> link_;
    std::unique_ptr<kv::HistoryMenu> history_;
    std::unique_ptr<kv::BenchMenu> bench_;
    std::unique_ptr<kv::PortMenu> port_;
    std::unique_ptr<kv::DeviceMenu> device_;
    std::unique_ptr<kv::TableMenu> table_;
    std::unique_ptr<kv::ToolsMenu> tools_;
};
