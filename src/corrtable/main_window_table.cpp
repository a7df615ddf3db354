// TForm1 handlers of the correction table: transfer and include-file generator.
#include "app/main_window.h"

void TForm1::Correctiontable1Click() {}
void TForm1::ReadCorrectionTable1Click() {}
void TForm1::GenerateCORRTABLEINCFile1Click() {}
