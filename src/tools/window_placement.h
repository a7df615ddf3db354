// Where the tool windows appear: centred on the main window each time they are shown.
#pragma once

#include "app/app_context.h"

class QWidget;

namespace kv::tools {

// The window a tool window is centred on: its parent's window, else the main window of
// ctx (the program creates the tool windows without a parent), else none.
QWidget *OwnerWindow(QWidget *dialog, const AppContext &ctx);

// Moves dialog so that its frame is centred on owner's frame; nothing without an owner.
void CenterOn(QWidget *dialog, const QWidget *owner);

} // namespace kv::tools
