// The program's run: the application's windows created in their order, the main window
// shown, the event loop, the windows destroyed again.
#pragma once

#include <functional>

#include "gui/app_context.h"

class KorvaneApplication;

namespace kv {

// Creates TForm1, TForm2, TForm4, TForm5 and TForm3 (in this order) for ctx, shows the
// main window and runs the event loop until it closes. onShown, when given, runs once the
// loop has started with the main window shown. Returns the loop's exit code.
int RunProgram(KorvaneApplication &app, AppContext &ctx,
               const std::function<void(AppContext &)> &onShown = {});

} // namespace kv
