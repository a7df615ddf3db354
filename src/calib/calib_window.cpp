#include "calib/calib_window.h"

TForm2::TForm2(kv::AppContext& ctx, QWidget* parent) : QMainWindow(parent), ctx_(ctx) {
    ctx_.form2 = this;
}
void TForm2::AskSaveModified(bool&) {}
