// TForm3: the ADC calculator "Calc ADC".
#pragma once

#include <QDialog>

#include "app/app_context.h"

class QLineEdit;

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(kv::AppContext& ctx, QWidget* parent = nullptr);

    QLineEdit* umax = nullptr;

private:
    kv::AppContext& ctx_;
};
