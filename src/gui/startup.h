// The program's run: the application's windows created in their order, the main window
// shown, the event loop, the windows destroyed again.
#pragma once

#include <functional>

#include "gui/app_context.h"

class KorvaneApplication;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;

namespace kv {

// The application's windows, while the program runs.
struct Windows {
    TForm1 &main;
    TForm2 &calibration;
    TForm4 &editor;
    TForm5 &lastAdc;
    TForm3 &calculator;
};

// Creates TForm1, TForm2, TForm4, TForm5 and TForm3 (in this order) for ctx, hands each
// window the others it opens, shows the main window and runs the event loop until it
// closes. onShown, when given, runs once the loop has started with the main window shown.
// Returns the loop's exit code.
int RunProgram(KorvaneApplication &app, AppContext &ctx,
               const std::function<void(Windows &)> &onShown = {});

} // namespace kv
