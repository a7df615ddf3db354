#include "gui/last_adc_window.h"

#include <QFontMetrics>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "gui/window_placement.h"
#include "link/link.h"
#include "tools/last_adc.h"

namespace {

constexpr const char *kWaiting = "...";
constexpr int kDigitPixels = 96;

} // namespace

TForm5::TForm5(kv::AppContext &ctx, QWidget *parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("Form5");
    setWindowTitle("Last ADC measure");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(275, 180);
    setFont(QFont("MS Sans Serif", 8));

    adc = new QLabel(this);
    adc->setObjectName("adc");
    adc->setGeometry(1, 5, 271, 131);
    adc->setFrameShape(QFrame::NoFrame);
    adc->setAlignment(Qt::AlignCenter);
    // Qt text is Unicode; the digits need no particular character set.
    QFont big("Courier New");
    big.setPixelSize(kDigitPixels);
    big.setBold(true);
    adc->setFont(big);

    auto button = [this](const char *name, const char *text, int left, QStyle::StandardPixmap g) {
        auto *b = new QPushButton(style()->standardIcon(g), text, this);
        b->setObjectName(name);
        b->setGeometry(left, 145, 75, 25);
        b->setAutoDefault(false);
        return b;
    };
    BitBtn1 = button("BitBtn1", "Close", 10, QStyle::SP_DialogCloseButton);
    BitBtn2 = button("BitBtn2", "Start", 100, QStyle::SP_MediaPlay);
    BitBtn3 = button("BitBtn3", "Stop", 190, QStyle::SP_MediaStop);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm5::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm5::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm5::BitBtn3Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm5::Timer1Timer);

    FormCreate();
}

void TForm5::FormCreate() {
    SetRunning(false);
    ShowText(kWaiting);
}

void TForm5::ShowText(const QString &text) {
    // Up to four digits fit the panel at full size; five (up to 65535) would be cut at both
    // edges and misread, so a wider text gets a smaller size that fits.
    QFont f = adc->font();
    f.setPixelSize(kDigitPixels);
    const int width = QFontMetrics(f).horizontalAdvance(text);
    if (width > adc->width()) {
        f.setPixelSize(kDigitPixels * adc->width() / width);
        while (f.pixelSize() > 8 && QFontMetrics(f).horizontalAdvance(text) > adc->width())
            f.setPixelSize(f.pixelSize() - 1);
    }
    adc->setFont(f);
    adc->setText(text);
}

void TForm5::PrepareMeasure(const std::vector<std::uint8_t> &command, std::uint8_t count) {
    command_ = command;
    count_ = count;
    ShowText(kWaiting);
    SetRunning(false);
}

void TForm5::ShowMeasure(const std::vector<std::uint8_t> &command, std::uint8_t count) {
    PrepareMeasure(command, count);
    exec();
}

void TForm5::SetRunning(bool on) {
    if (on)
        Timer1->start();
    else
        Timer1->stop();
    BitBtn3->setEnabled(on);
    BitBtn2->setEnabled(!on);
}

void TForm5::BitBtn1Click() {
    done(kv::IdCancel);
}

void TForm5::BitBtn2Click() {
    SetRunning(true);
}

void TForm5::BitBtn3Click() {
    SetRunning(false);
}

void TForm5::hideEvent(QHideEvent *event) {
    // Every way of closing (Close, the close box, Esc, done()) hides the window; the timer
    // never runs while it is hidden.
    if (!event->spontaneous())
        SetRunning(false);
    QDialog::hideEvent(event);
}

void TForm5::Timer1Timer() {
    const kv::BusyGuard guard(MeasureBusy);
    if (!guard.entered())
        return;

    if (ctx_.link == nullptr) {
        ShowText(kv::tools::kNoResult);
        return;
    }
    const kv::link::Reply reply = ctx_.link->SendCommand(command_, count_);
    ShowText(QString::fromStdString(kv::tools::AvgAdcText(reply.bytes, count_)));
}

void TForm5::showEvent(QShowEvent *event) {
    kv::CenterOn(this, kv::OwnerWindow(this, ctx_));
    QDialog::showEvent(event);
}
