#include "app/qt_prompter.h"
