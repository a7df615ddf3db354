// Where the dialog windows appear: centred on the main window each time they are shown.
#pragma once

#include "app/app_context.h"

class QWidget;

namespace kv {

// The window a dialog is centred on: its parent's window, else the main window of ctx
// (the program creates the other windows without a parent), else none.
QWidget *OwnerWindow(QWidget *dialog, const AppContext &ctx);

// Moves dialog so that its frame is centred on owner's frame; nothing without an owner.
void CenterOn(QWidget *dialog, const QWidget *owner);

} // namespace kv
