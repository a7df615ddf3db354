// TForm3: the ADC calculator "Calc ADC".
#pragma once

#include <QDialog>

#include "gui/app_context.h"

class QLabel;
class QLineEdit;

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(kv::AppContext &ctx, QWidget *parent = nullptr);

    // Inputs.
    QLineEdit *umax = nullptr;
    QLineEdit *imax = nullptr;
    QLineEdit *adcmax = nullptr;
    QLineEdit *i = nullptr;
    // Results (read-only).
    QLineEdit *ui = nullptr;
    QLineEdit *adc = nullptr;

public slots:
    // Recomputes both results from the four inputs.
    void Calculate();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    QLineEdit *AddField(const char *name, const char *label, int row, const char *color);

    kv::AppContext &ctx_;
};
