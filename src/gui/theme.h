// How the windows fit the user's desktop: text readable on whatever background the desktop
// theme gives, windows that fit the screen at any scale, the program's icon.
#pragma once

class QColor;
class QIcon;
class QLineEdit;
class QWidget;

namespace kv {

// The colour to write text in on background: wanted when it reads well there (enough
// contrast), else black or white, whichever reads better. A light theme keeps the wanted
// colours; a dark one turns black text on its dark button face to white.
QColor ReadableText(const QColor &background, const QColor &wanted);

// A field on a background of its own colour, its text readable on it.
void SetFieldBackground(QLineEdit *field, const QColor &background);

// Shrinks window to the available area of its screen (its frame included) and moves it
// inside, so that no edge is off the screen; a window that fits stays as it is.
void FitOnScreen(QWidget *window);

// The program's icon: the desktop theme's "org.korvane.Korvane" when the program is
// installed, else the same picture drawn here (a fuse with its wire and a bolt).
QIcon ProgramIcon();

} // namespace kv
