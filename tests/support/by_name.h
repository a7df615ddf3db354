// The windows' widgets and menu items as a test reaches them: by their object names, as a
// user finds them by their captions.
#pragma once

#include <QAction>
#include <QMetaObject>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace kvtest {

// A widget or menu item of a window by its object name, as a user finds it by its caption;
// a name the window does not have ends the test run at once.
template <class T = QWidget> T *Named(const QObject &window, const char *name) {
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        std::fprintf(stderr, "no %s named %s in %s\n", T::staticMetaObject.className(), name,
                     qPrintable(window.objectName()));
        std::abort();
    }
    return found;
}

// The menu item chosen, as the menu or its shortcut does.
inline void Trigger(const QObject &window, const char *item) {
    Named<QAction>(window, item)->trigger();
}

// One tick of the main window's one-second timer, as the running timer gives it.
inline void Tick(const QObject &window) {
    QMetaObject::invokeMethod(Named<QTimer>(window, "Timer1"), "timeout", Qt::DirectConnection);
}

} // namespace kvtest
