// TForm1: building the main window and its parts, start-up, the log pane, the close query
// and the program and port commands.
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <clocale>

#include "app/format.h"
#include "app/log_lines.h"
#include "app/numbers.h"
#include "app/text_files.h"
#include "device/current.h"
#include "device/operations.h"
#include "device/texts.h"
#include "gui/bench_menu.h"
#include "gui/calib_window.h"
#include "gui/device_menu.h"
#include "gui/history_menu.h"
#include "gui/port_menu.h"
#include "gui/table_menu.h"
#include "gui/tools_menu.h"
#include "gui/window_placement.h"
#include "history/recorder.h"
#include "link/link.h"

namespace {

// Texts of the main window.
constexpr const char *kCaption = "Korvane";
constexpr const char *kAboutText = "Korvane service\r\r"
                                   "Service tool for the Korvane electronic fuse, version 1.0";

// The window's geometry. The client area (below the menu bar) is 492 x 396. The smallest
// window, 500 x 300 with its frame, is taken with the classic frame of 4 px borders and a
// 23 px caption, so that the client may shrink to 492 x 269 (menu bar included).
constexpr int kClientWidth = 492;
constexpr int kClientHeight = 396;
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 23 + 8;
constexpr int kMinWidth = 500;
constexpr int kMinHeight = 300;
constexpr int kPanelHeight = 191;

QString Q(std::string_view s) {
    // Texts of the program are ASCII; received bytes may not be UTF-8, and are then shown
    // byte for byte (Latin-1) rather than as replacement characters.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString out = utf8(QByteArrayView(s.data(), qsizetype(s.size())));
    if (utf8.hasError())
        out = QString::fromLatin1(s.data(), qsizetype(s.size()));
    return out;
}

} // namespace

TForm1::TForm1(kv::AppContext &ctx, QWidget *parent)
    : QMainWindow(parent), ctx_(ctx), ini_(ctx.paths.IniFileName()) {
    ctx_.mainWindow = this;
    setObjectName("Form1");
    setWindowTitle(QString::fromLatin1(kCaption));

    // "Courier New" bold, 16 px. The East European character set of the original font
    // choice has no counterpart here: Qt draws Unicode text.
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(16);
    f.setBold(true);
    f.setStyleHint(QFont::TypeWriter);
    setFont(f);

    BuildWidgets();
    BuildMenus();

    // The port name and speed are read from the settings file at each opening.
    link_ = std::make_unique<kv::link::Link>(*this, [this] {
        const kv::PortSetting p = kv::ReadPortSetting(ini_);
        return kv::link::PortSettings{p.port, p.baud};
    });
    ctx_.link = link_.get();

    const kv::StartupSettings s = kv::ReadStartupSettings(ini_);
    BuildParts(s);
    FormCreate(s);
}

TForm1::~TForm1() {
    for (QWidget *w :
         std::initializer_list<QWidget *>{fusecurrent, zerooffset, overloadtimer, multiply, avgi})
        w->removeEventFilter(this);
    // A timed series still running at the end is recorded as far as it went (by its part,
    // through the history); then the link ends the receive thread, lowers RTS and DTR and
    // closes the port.
    tools_.reset();
    table_.reset();
    device_.reset();
    port_.reset();
    bench_.reset();
    history_.reset();
    if (ctx_.link == link_.get())
        ctx_.link = nullptr;
    link_.reset();
    if (ctx_.mainWindow == this)
        ctx_.mainWindow = nullptr;
}

// Each menu's part, given what it works with. The history comes first: the others record
// through it.
void TForm1::BuildParts(const kv::StartupSettings &s) {
    history_ = std::make_unique<kv::HistoryMenu>(
        kv::HistoryWidgets{Unit1, UnitHistory1, CalibrationRecord1, SharedHistory1}, this, s,
        *link_, ctx_, ini_, *this);
    bench_ = std::make_unique<kv::BenchMenu>(CurrentPlot1, SaveLog1, this, ctx_, *this);
    port_ = std::make_unique<kv::PortMenu>(
        Port1, Service1, this, *link_, ctx_.prompter, ini_, *this, [this] { return OpenComPort(); },
        portRoots_);
    device_ = std::make_unique<kv::DeviceMenu>(
        kv::DeviceWidgets{.fusecurrent = fusecurrent,
                          .zerooffset = zerooffset,
                          .overloadtimer = overloadtimer,
                          .multiply = multiply,
                          .avgi = avgi,
                          .average = average,
                          .vref = vref,
                          .sendData = BitBtn1,
                          .getData = BitBtn2,
                          .relay = BitBtn3,
                          .getCurrent = BitBtn4,
                          .info = Info1,
                          .timerOn = Enabletimer1,
                          .timerInterval = SetCurrentTimerInterval1,
                          .lastValues = GetLastValues1,
                          .lastStoredValues = GetLastStoredValues1,
                          .calcCrc = CalcCRC1,
                          .restart = Restart1,
                          .timer = Timer1,
                          .service = Service1,
                          .serviceBefore = benchSeparator_},
        *link_, ctx_.prompter, ctx_, CommState, ini_, *this, history_->recorder(),
        [this](const kv::device::CurrentSample *sample) { bench_->PlotMeasurement(sample); },
        portRoots_);
    table_ = std::make_unique<kv::TableMenu>(
        kv::TableWidgets{Correctiontable1, ReadCorrectionTable1, GenerateCORRTABLEINCFile1,
                         VerifyCorrectionTable1, BackUpDeviceTable1, VerifyTableWrites1},
        *link_, ctx_.prompter, ctx_, ini_, *this, history_->recorder());
    tools_ = std::make_unique<kv::ToolsMenu>(LastADCmeasure1, Calc1, ctx_);
}

void TForm1::UseWindows(TForm2 *calibration, TForm4 *editor, TForm5 *lastAdc, TForm3 *calculator) {
    calibration_ = calibration;
    table_->UseEditor(editor);
    tools_->UseWindows(lastAdc, calculator);
}

kv::history::Recorder &TForm1::history() {
    return history_->recorder();
}

kv::device::CurrentPlot &TForm1::plot() {
    return bench_->plot();
}

void TForm1::SetUnit(const std::string &unit) {
    history_->SetUnit(unit);
}

void TForm1::Record(const std::optional<kv::history::Entry> &entry) {
    history_->Record(entry);
}

void TForm1::BuildWidgets() {
    auto *central = new QWidget(this);
    central->setObjectName("central");
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    panel = new QWidget(central);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(kPanelHeight);
    panel->setMinimumWidth(kClientWidth);

    // Labelled fields down the left, buttons down the right, check boxes along the bottom.
    auto field = [&](const char *name, const char *label, int row) {
        auto *l = new QLabel(QString::fromLatin1(label), panel);
        l->setObjectName(QString::fromLatin1(name) + "Label");
        l->setGeometry(8, 10 + row * 30, 230, 24);
        auto *e = new QLineEdit(panel);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(240, 8 + row * 30, 70, 26);
        l->setBuddy(e);
        e->installEventFilter(this);
        return e;
    };
    fusecurrent = field("fusecurrent", "Fuse current (A x10)", 0);
    zerooffset = field("zerooffset", "Zero offset (ADC div)", 1);
    overloadtimer = field("overloadtimer", "Overload time (ms)", 2);
    multiply = field("multiply", "I to ADC multiply", 3);
    avgi = field("avgi", "Current measure count", 4);

    average = new QCheckBox(QStringLiteral("Use average current"), panel);
    average->setObjectName("average");
    average->setGeometry(8, 160, 225, 24);
    vref = new QCheckBox(QStringLiteral("Use voltage reference"), panel);
    vref->setObjectName("vref");
    vref->setGeometry(238, 160, 250, 24);

    auto button = [&](const char *name, const char *caption, int row) {
        auto *b = new QPushButton(QString::fromLatin1(caption), panel);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(328, 8 + row * 37, 156, 32);
        b->setAutoDefault(false);
        return b;
    };
    BitBtn1 = button("BitBtn1", "Send Data", 0);
    BitBtn2 = button("BitBtn2", "Get Data", 1);
    BitBtn3 = button("BitBtn3", "Relay", 2);
    BitBtn4 = button("BitBtn4", "Get Current", 3);

    const QWidget *order[] = {fusecurrent, zerooffset, overloadtimer, multiply, avgi,   average,
                              vref,        BitBtn1,    BitBtn2,       BitBtn3,  BitBtn4};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget *>(order[i]), const_cast<QWidget *>(order[i + 1]));

    m = new QPlainTextEdit(central);
    m->setObjectName("m");
    m->setReadOnly(true);
    // Lines are inserted and trimmed for ever; an edit history would keep every one of them.
    m->setUndoRedoEnabled(false);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setFocusPolicy(Qt::ClickFocus);

    layout->addWidget(panel);
    layout->addWidget(m, 1);
    setCentralWidget(central);

    // Panel 0 is 100 px; panel 1 is 50 px at least and takes the rest of the bar up to its
    // right edge, as the last panel of a status bar does, so a whole frame in hexadecimal
    // stays readable. A text longer than that is cut at the edge; it never widens the
    // window. The bar writes in the system's interface font, not the window's own.
    sb1 = new QStatusBar(this);
    sb1->setObjectName("sb1");
    sb1->setSizeGripEnabled(true);
    QFont barFont = QApplication::font(sb1);
    barFont.setResolveMask(QFont::AllPropertiesResolved);
    sb1->setFont(barFont);
    sb1Panel0 = new QLabel(sb1);
    sb1Panel0->setObjectName("sb1Panel0");
    sb1Panel0->setFixedWidth(100);
    sb1Panel1 = new QLabel(sb1);
    sb1Panel1->setObjectName("sb1Panel1");
    sb1Panel1->setMinimumWidth(50);
    sb1Panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    sb1->addWidget(sb1Panel0);
    sb1->addWidget(sb1Panel1, 1);
    setStatusBar(sb1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
}

void TForm1::BuildMenus() {
    QMenuBar *bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto menu = [&](const char *name, const char *caption) {
        QMenu *mm = bar->addMenu(QString::fromLatin1(caption));
        mm->setObjectName(QString::fromLatin1(name));
        return mm;
    };
    // An item's handler, where one is given here, is the window's own; the other items are
    // connected by the part of their menu (BuildParts).
    auto item = [&](QMenu *mm, const char *name, const char *caption, QKeySequence key = {},
                    void(TForm1::*handler)() = nullptr) {
        QAction *a = mm->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        if (handler)
            connect(a, &QAction::triggered, this, handler);
        return a;
    };

    QMenu *program = menu("Program1", "Program");
    About1 = item(program, "About1", "About", {}, &TForm1::About1Click);
    Exit1 = item(program, "Exit1", "Exit", {}, &TForm1::Exit1Click);

    QMenu *device = menu("Device1", "Device");
    Open1 = item(device, "Open1", "Open COM port", {}, &TForm1::Open1Click);
    Close1 = item(device, "Close1", "Close COM port", {}, &TForm1::Close1Click);
    device->addSeparator();
    Info1 = item(device, "Info1", "Info", QKeySequence(Qt::CTRL | Qt::Key_I));
    Enabletimer1 = item(device, "Enabletimer1", "Get Current - Timer",
                        QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
    Enabletimer1->setCheckable(true); // toggles its own check mark before the handler runs
    SetCurrentTimerInterval1 =
        item(device, "SetCurrentTimerInterval1", "Set Interval (Get Current - Timer)");
    LastADCmeasure1 = item(device, "LastADCmeasure1", "Last ADC measure");
    GetLastValues1 =
        item(device, "GetLastValues1", "Get Last Values", QKeySequence(Qt::CTRL | Qt::Key_L));
    GetLastStoredValues1 = item(device, "GetLastStoredValues1", "Get Last Stored Values",
                                QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
    CalcCRC1 = item(device, "CalcCRC1", "Calc CRC");
    device->addSeparator();
    Restart1 = item(device, "Restart1", "ReStart");

    QMenu *data = menu("Data1", "Data");
    AllDataChange1 =
        item(data, "AllDataChange1", "All Data Change", {}, &TForm1::AllDataChange1Click);
    AllDataChange1->setCheckable(true);
    data->addSeparator();
    data1 = item(data, "data1", "Graph", QKeySequence(Qt::CTRL | Qt::Key_G), &TForm1::data1Click);
    Correctiontable1 = item(data, "Correctiontable1", "Write Correction Table");
    ReadCorrectionTable1 = item(data, "ReadCorrectionTable1", "Read Correction Table");
    GenerateCORRTABLEINCFile1 =
        item(data, "GenerateCORRTABLEINCFile1", "Generate CORRTABLE.INC File");
    data->addSeparator();
    Calc1 = item(data, "Calc1", "Calc ADC");

    // The program's own menu, after "Data": the port, the unit history, table safety, the
    // device commands of its own (DeviceMenu puts them before the bench items) and the bench.
    Service1 = menu("Service1", "Service");
    Port1 = item(Service1, "Port1", "Port...");
    Unit1 = item(Service1, "Unit1", "Unit...");
    UnitHistory1 = item(Service1, "UnitHistory1", "Unit History");
    CalibrationRecord1 = item(Service1, "CalibrationRecord1", "Calibration Record...");
    SharedHistory1 = item(Service1, "SharedHistory1", "Shared History...");
    Service1->addSeparator();
    VerifyCorrectionTable1 = item(Service1, "VerifyCorrectionTable1", "Verify Correction Table");
    BackUpDeviceTable1 = item(Service1, "BackUpDeviceTable1", "Back Up Device Table...");
    VerifyTableWrites1 = item(Service1, "VerifyTableWrites1", "Verify Table Writes");
    VerifyTableWrites1->setCheckable(true); // toggles its own check mark before the handler
    benchSeparator_ = Service1->addSeparator();
    CurrentPlot1 = item(Service1, "CurrentPlot1", "Current Plot");
    // Checked, the log pane's lines from then on start with the time (WriteLogLine); off at
    // start, so that the lines are as they always were.
    TimestampsInLog1 = item(Service1, "TimestampsInLog1", "Timestamps in Log");
    TimestampsInLog1->setCheckable(true);
    SaveLog1 = item(Service1, "SaveLog1", "Save Log...");

    // The client area is the central widget and the status bar; the menu bar comes on top.
    const int menuHeight = bar->sizeHint().height();
    resize(kClientWidth, kClientHeight + menuHeight);
    setMinimumSize(kMinWidth - kFrameWidth, kMinHeight - kFrameHeight);
}

void TForm1::FormCreate(const kv::StartupSettings &s) {
    // Numbers are formatted and parsed with "." by the program's own code (app/numbers.h,
    // app/format.h); the process-wide settings are set as well for anything else.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());

    m->clear();
    fusecurrent->clear();
    zerooffset->clear();
    overloadtimer->clear();
    multiply->clear();

    // A current log that is there but takes no records (a directory, a FIFO, which is never
    // waited on, a full device) is said so in the log; a missing folder stays silent.
    const std::string currentLog = ctx_.paths.CurrentLogFileName();
    const kv::FileResult logStarted = kv::device::StartCurrentLog(currentLog, &ctx_.prompter);
    const bool logUnusable = !logStarted && !kv::NotATextFile(currentLog).empty();

    ctx_.RefVoltage = s.RefVoltage;
    ctx_.Voltage = s.Voltage;
    CommState.AutoSaveData = s.AutoSaveData;
    CommState.AllDataChange = s.AllDataChange;
    CommState.AutoOpen = s.AutoOpen;
    CommState.LogLines = s.LogLines;
    ctx_.GridLines = s.GridLines;
    CommState.TimerInterval = s.TimerInterval;
    const kv::device::ParameterEntries e = kv::device::EntriesFromSettings(s);
    fusecurrent->setText(QString::fromStdString(e.FuseCurrent));
    zerooffset->setText(QString::fromStdString(e.ZeroOffset));
    overloadtimer->setText(QString::fromStdString(e.OverloadTime));
    multiply->setText(QString::fromStdString(e.CurrentMultiply));
    average->setChecked(e.UseAverage);
    vref->setChecked(e.UseVref);
    avgi->setText(QString::fromStdString(e.MeasureCount));

    AllDataChange1->setChecked(CommState.AllDataChange);
    SetAllDataEnabled(CommState.AllDataChange);

    if (logUnusable)
        AddLog(kv::Format(kv::device::text::CurrentLogNotSaved, {currentLog, logStarted.error}));
    if (!s.problem.empty())
        AddLog(s.problem);
}

bool TForm1::event(QEvent *e) {
    const bool handled = QMainWindow::event(e);
    // The first activation: the window becoming active, or, where nothing activates it (a
    // display without a window manager), its first showing. The handler runs once the event
    // is through, so that the error boxes of a failed automatic opening do not appear inside
    // it.
    if ((e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) &&
        CommState.FirstActivate && !activationQueued_) {
        activationQueued_ = true;
        QMetaObject::invokeMethod(this, &TForm1::FormActivate, Qt::QueuedConnection);
    }
    return handled;
}

void TForm1::FormActivate() {
    if (!CommState.FirstActivate)
        return;
    CommState.FirstActivate = false;
    // The field that holds the focus at start-up shows its hint: its focus came with the
    // window's activation, which by itself is no entering of a field. Before any activation
    // (no window manager) the focus is given to the first field, where activation puts it.
    QWidget *focused = focusWidget();
    if (!focused) {
        fusecurrent->setFocus(Qt::OtherFocusReason);
        focused = fusecurrent;
    }
    ShowFieldHint(focused);
    if (CommState.AutoOpen && !OpenComPort())
        port_->OfferPortChoice();
}

void TForm1::closeEvent(QCloseEvent *event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TForm1::FormCloseQuery(bool &canClose) {
    if (!calibration_)
        return;
    calibration_->AskSaveModified(canClose);
    // The question promises the calibration window: shown, also when it was minimised.
    if (!canClose)
        kv::BringToFront(calibration_);
}

// Only real moves of the focus within the program count as entering a field: the focus
// coming back with the window's activation or after a menu closes does not.
bool TForm1::eventFilter(QObject *obj, QEvent *e) {
    if (e->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent *>(e)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            ShowFieldHint(obj);
    }
    return QMainWindow::eventFilter(obj, e);
}

void TForm1::ShowFieldHint(QObject *field) {
    if (field == fusecurrent)
        fusecurrentEnter();
    else if (field == zerooffset)
        zerooffsetEnter();
    else if (field == overloadtimer)
        overloadtimerEnter();
    else if (field == multiply)
        multiplyEnter();
    else if (field == avgi)
        avgiEnter();
}

void TForm1::fusecurrentEnter() {
    SetStatusPanel(1, "Parameter example: 12 = 1,2A");
}
void TForm1::zerooffsetEnter() {
    SetStatusPanel(1, "Value 0-255");
}
void TForm1::overloadtimerEnter() {
    SetStatusPanel(1, "Value 0-255");
}
void TForm1::multiplyEnter() {
    SetStatusPanel(1, "Parameter example: 105 = 10,5");
}
void TForm1::avgiEnter() {
    SetStatusPanel(1, "Value 1-20");
}

void TForm1::AddLog(std::string_view text) {
    if (link_)
        link_->AddLog(text); // writes through WriteLogLine while the log is on
    else
        WriteLogLine(kv::link::LineKind::Program, text);
}

void TForm1::WriteLogLine(kv::link::LineKind, std::string_view text) {
    // No redrawing while lines are dropped and inserted, also when that fails part way.
    const bool updates = m->updatesEnabled();
    m->setUpdatesEnabled(false);
    const auto restore = qScopeGuard([this, updates] { m->setUpdatesEnabled(updates); });
    QTextDocument *doc = m->document();
    auto lines = [&] { return doc->isEmpty() ? 0 : doc->blockCount(); };
    // A negative limit keeps the newest line, as 0 does.
    const int limit = std::max(CommState.LogLines, 0);
    const std::string trimmed = kv::TrimRight(text);
    const QString line =
        Q(TimestampsInLog1 && TimestampsInLog1->isChecked()
              ? kv::StampedLine(kv::LocalClockMillis(std::chrono::system_clock::now()), trimmed)
              : trimmed);

    QTextCursor c(doc);
    c.beginEditBlock();
    while (lines() > limit) {
        if (lines() == 1) {
            c.select(QTextCursor::Document);
            c.removeSelectedText();
            break;
        }
        // The last line with the line end before it.
        const QTextBlock last = doc->lastBlock();
        c.setPosition(last.position() - 1);
        c.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    }
    const bool empty = doc->isEmpty();
    c.setPosition(0);
    c.insertText(empty ? line : line + QLatin1Char('\n'));
    c.endEditBlock();
}

std::vector<std::string> TForm1::LogLinesShown() const {
    std::vector<std::string> out;
    const QTextDocument *doc = m->document();
    if (doc->isEmpty())
        return out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        out.push_back(b.text().toStdString());
    return out;
}

void TForm1::SetAllDataEnabled(bool enabled) {
    for (QWidget *w : std::initializer_list<QWidget *>{zerooffset, multiply, avgi, average, vref})
        w->setEnabled(enabled);
    if (isVisible()) {
        fusecurrent->setFocus(Qt::OtherFocusReason);
        fusecurrent->deselect();
    }
}

// The menu item has toggled its own check mark when this runs.
void TForm1::AllDataChange1Click() {
    SetAllDataEnabled(AllDataChange1->isChecked());
}

void TForm1::About1Click() {
    kv::ShowInfo(ctx_.prompter, kAboutText);
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::data1Click() {
    if (!calibration_)
        return;
    kv::BringToFront(calibration_);
}

void TForm1::Open1Click() {
    OpenComPort();
}

void TForm1::Close1Click() {
    link_->ClosePort();
    history_->PortClosed();
    port_->ShowPortState();
}

bool TForm1::OpenComPort() {
    if (!link_->OpenComPort())
        return false;
    history_->PortOpened();
    port_->ShowPortState();
    return true;
}

void TForm1::Show(const kv::Notices &notices) {
    kv::ShowNotices(notices, ctx_.prompter, [this](const kv::Notice &n) { AddLog(n.text); });
}

// LinkHost

void TForm1::SetStatusPanel(int panel, std::string_view text) {
    QLabel *p = panel == 0 ? sb1Panel0 : sb1Panel1;
    p->setText(Q(text));
}

void TForm1::Beep() {
    ctx_.prompter.Beep();
}

void TForm1::ShowError(std::string_view text) {
    kv::ShowError(ctx_.prompter, text);
}

void TForm1::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::RunOnMainThread(const std::function<void()> &fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(
        this, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}
