// TForm1 handlers that open the tool windows.
#include "app/main_window.h"

void TForm1::LastADCmeasure1Click() {}
void TForm1::Calc1Click() {}
