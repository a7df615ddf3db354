#include "corrtable/editor_window.h"

TForm4::TForm4(kv::AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    ctx_.form4 = this;
}
void TForm4::ShowTable() {}
int TForm4::ReadTableEdits() { return 0; }
void TForm4::LoadTableFile(const std::string&, kv::corrtable::CorrTableData&) {}
