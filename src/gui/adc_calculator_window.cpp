#include "gui/adc_calculator_window.h"

#include <QLabel>
#include <QLineEdit>

#include "gui/theme.h"
#include "gui/window_placement.h"
#include "tools/adc_conversion.h"

namespace {

constexpr int kLabelLeft = 20;
constexpr int kFieldLeft = 110;
constexpr int kFieldWidth = 80;
constexpr int kFieldHeight = 28;
constexpr int kFirstTop = 8;
constexpr int kRowPitch = 32;

} // namespace

TForm3::TForm3(kv::AppContext &ctx, QWidget *parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("Form3");
    setWindowTitle("Calc ADC");
    // A fixed dialog closed with its close box only. Qt sizes the client area; the frame
    // around it is the window manager's.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(202, 201);
    QFont f("MS Sans Serif");
    f.setPixelSize(16);
    f.setBold(true);
    setFont(f);
    FormCreate();
}

QLineEdit *TForm3::AddField(const char *name, const char *label, int row, const char *color) {
    const int top = kFirstTop + row * kRowPitch;
    auto *l = new QLabel(label, this);
    l->setObjectName(QString(name) + "Label");
    l->setGeometry(kLabelLeft, top, kFieldLeft - kLabelLeft, kFieldHeight);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto *e = new QLineEdit(this);
    e->setObjectName(name);
    e->setGeometry(kFieldLeft, top, kFieldWidth, kFieldHeight);
    kv::SetFieldBackground(e, QColor(color));
    l->setBuddy(e);
    return e;
}

void TForm3::FormCreate() {
    // The number syntaxes of app/numbers.h always use "." as the decimal point, so the
    // fields read and show "." whatever the locale.

    // Created with the input current first, so that it is also first in the focus chain.
    i = AddField("i", "input I ", 3, "#ff00ff");
    umax = AddField("umax", "U max", 0, "#c0c0c0");
    imax = AddField("imax", "I max", 1, "#c0c0c0");
    adcmax = AddField("adcmax", "ADC max", 2, "#c0c0c0");
    ui = AddField("ui", "U adc", 4, "#00ff00");
    adc = AddField("adc", "ADC div", 5, "#00ff00");
    for (QLineEdit *r : {ui, adc}) {
        r->setReadOnly(true);
        r->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    }
    setTabOrder(i, umax);
    setTabOrder(umax, imax);
    setTabOrder(imax, adcmax);

    umax->setText("5.0");
    imax->setText("12");
    adcmax->setText("1023");
    i->setText("0");
    ui->setText("0");
    adc->setText("0");

    // Attached only now, so the creation texts compute nothing.
    for (QLineEdit *e : {umax, imax, adcmax, i})
        connect(e, &QLineEdit::textChanged, this, &TForm3::Calculate);
}

void TForm3::Calculate() {
    const auto r = kv::tools::ConvertAdc(umax->text().toStdString(), imax->text().toStdString(),
                                         adcmax->text().toStdString(), i->text().toStdString());
    ui->setText(QString::fromStdString(r.ui));
    adc->setText(QString::fromStdString(r.adc));
}

void TForm3::showEvent(QShowEvent *event) {
    kv::CenterOn(this, kv::OwnerWindow(this, ctx_));
    QDialog::showEvent(event);
}
