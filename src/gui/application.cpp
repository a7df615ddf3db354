#include "gui/application.h"

#include <QFont>
#include <QFontDatabase>

#include <cstdio>
#include <exception>

#include "app/errors.h"
#include "gui/window_placement.h"

KorvaneApplication::KorvaneApplication(int &argc, char **argv) : QApplication(argc, argv) {
    // The application title. It is not set as the display name as well: on X11 Qt appends
    // an explicit display name to every window caption ("Korvane - <Korvane>"), and the
    // windows and boxes carry their own captions. The display name defaults to this title.
    setApplicationName(QString::fromLatin1(kv::kAppTitle));
    InstallFontSubstitutions();
    kv::TrackInputWindows(*this);
}

KorvaneApplication *KorvaneApplication::instance() {
    return qobject_cast<KorvaneApplication *>(QCoreApplication::instance());
}

void KorvaneApplication::InstallFontSubstitutions() {
    static const struct {
        const char *named;
        const char *substitute;
    } kFonts[] = {
        {"Courier New", "Liberation Mono"},
        {"MS Sans Serif", "Liberation Sans"},
    };
    const QStringList families = QFontDatabase::families();
    for (const auto &f : kFonts) {
        const QString named = QString::fromLatin1(f.named);
        if (!families.contains(named, Qt::CaseInsensitive))
            QFont::insertSubstitution(named, QString::fromLatin1(f.substitute));
    }
}

bool KorvaneApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ReportError(e.what());
    } catch (...) {
        ReportError("Unknown exception");
    }
    return false;
}

void KorvaneApplication::ReportError(const std::string &message) {
    if (prompter_) {
        // The report's own failure must not escape either.
        try {
            kv::ShowAppError(*prompter_, message);
            return;
        } catch (...) {
        }
    }
    std::fprintf(stderr, "%s: %s\n", kv::kAppTitle, kv::AppErrorText(message).c_str());
}
