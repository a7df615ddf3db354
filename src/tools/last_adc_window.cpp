#include "tools/last_adc_window.h"

TForm5::TForm5(kv::AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    ctx_.form5 = this;
}
void TForm5::ShowMeasure(const std::vector<std::uint8_t>&, std::uint8_t) {}
