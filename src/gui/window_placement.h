// Where the dialog windows appear: over the window they belong to, each time they are shown,
// and wide enough for their caption.
#pragma once

#include "gui/app_context.h"

class QApplication;
class QString;
class QWidget;

namespace kv {

// The window a dialog is centred on: its parent's window, else the main window of ctx
// (the program creates the other windows without a parent), else none.
QWidget *OwnerWindow(QWidget *dialog, const AppContext &ctx);

// Moves dialog so that its frame is centred on owner's frame; nothing without an owner.
// A dialog not yet shown has no frame of its own: it is taken to get one like its owner's.
void CenterOn(QWidget *dialog, const QWidget *owner);

// Remembers the window of the user's last click or key press, for DialogOwner. Installed
// once, by the application object.
void TrackInputWindows(QApplication &app);

// The window a message box, file dialog or text-entry dialog belongs to: the modal dialog in
// front, else the window of the user's last click or key (which asked for the dialog; a
// display without a window manager may leave another window active, or none), else the
// active window, else none.
QWidget *DialogOwner();

// The width a window needs to show its caption whole: the caption in a bold title font, with
// room for the window icon and the title bar's buttons.
int CaptionWidth(const QString &caption);

// For a dialog's showEvent, after its own class has sized it: widens it to CaptionWidth and
// centres it on its parent's window. (A message box sizes itself again later; it is given
// the width in its layout instead.)
void PlaceDialog(QWidget *dialog);

} // namespace kv
