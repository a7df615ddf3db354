#include "tools/adc_calculator_window.h"

TForm3::TForm3(kv::AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    ctx_.form3 = this;
}
