// TForm1 handlers of the device operations.
#include "app/main_window.h"

void TForm1::BitBtn1Click() {}
void TForm1::BitBtn2Click() {}
void TForm1::BitBtn3Click() {}
void TForm1::BitBtn4Click() {}
void TForm1::GetLastValues1Click() {}
void TForm1::GetLastStoredValues1Click() {}
void TForm1::Enabletimer1Click() {}
void TForm1::Timer1Timer() {}
void TForm1::SetCurrentTimerInterval1Click() {}
void TForm1::CalcCRC1Click() {}
void TForm1::ShowStatus(std::uint8_t, const std::string &) {}
int TForm1::ShowErrorValue(const std::string &, int value) {
    return value;
}
