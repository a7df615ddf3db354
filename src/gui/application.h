// The application object: title, font substitutions, and the general error report for any
// exception that leaves an event handler.
#pragma once

#include <QApplication>

#include <string>

#include "app/prompter.h"

class KorvaneApplication : public QApplication {
    Q_OBJECT

public:
    KorvaneApplication(int &argc, char **argv);

    static KorvaneApplication *instance();

    // The prompter that shows the general error report. Not owned; set by the program's start
    // and by tests. Without one the report goes to the error output.
    void setPrompter(kv::Prompter *prompter) { prompter_ = prompter; }
    kv::Prompter *prompter() const { return prompter_; }

    // Delivers the event; an exception leaving the handler is shown as the general error
    // report and never propagates through the event loop.
    bool notify(QObject *receiver, QEvent *event) override;

    // The general error report for a failure's message (full-stop rule applied).
    void ReportError(const std::string &message);

    // Maps the font families the windows name to metric-compatible free fonts where the
    // named ones are missing. Called by the constructor.
    static void InstallFontSubstitutions();

private:
    kv::Prompter *prompter_ = nullptr;
};

// main() for a Qt Test executable: runs the test object under a KorvaneApplication on the
// offscreen platform (unless the environment names another). The test sets its prompter
// with KorvaneApplication::instance()->setPrompter().
#define KORVANE_QTEST_MAIN(TestObject)                                                             \
    int main(int argc, char **argv) {                                                              \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        KorvaneApplication app(argc, argv);                                                        \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
