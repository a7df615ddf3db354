// The application object: the general error report for exceptions leaving handlers, the
// title and the font substitutions.
#include <QFontInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <stdexcept>

#include "app/errors.h"
#include "gui/application.h"
#include "scripted_prompter.h"

class ApplicationTest : public QObject {
    Q_OBJECT

private:
    kvtest::ScriptedPrompter prompter;

private slots:
    void init() {
        prompter.clear();
        KorvaneApplication::instance()->setPrompter(&prompter);
    }

    void title() {
        QCOMPARE(QApplication::applicationDisplayName(), QString("<Korvane>"));
        QCOMPARE(QApplication::applicationName(), QString("<Korvane>"));
    }

    // A handler run by a click throws; the report is the error box captioned with the
    // application title, the full stop added, and later events are still delivered.
    void exceptionFromClickIsReportedAndLoopGoesOn() {
        QPushButton button("Throw");
        int clicks = 0;
        connect(&button, &QPushButton::clicked, [&] {
            ++clicks;
            if (clicks == 1)
                throw kv::Error("'abc' is not a valid integer value");
            throw std::runtime_error("Done!");
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 2);

        auto prompts = prompter.prompts();
        QCOMPARE(prompts.size(), std::size_t(2));
        QCOMPARE(prompts[0].caption, std::string("<Korvane>"));
        QCOMPARE(prompts[0].text, std::string("'abc' is not a valid integer value."));
        QVERIFY(prompts[0].icon == kv::MsgIcon::Error);
        QVERIFY(prompts[0].buttons == kv::MsgButtons::Ok);
        // "!" sorts before ".", so no full stop is added.
        QCOMPARE(prompts[1].text, std::string("Done!"));
    }

    // A timer slot that throws inside the running event loop: the loop keeps running and
    // the next timer still fires.
    void exceptionFromTimerDoesNotEndTheLoop() {
        bool later = false;
        QTimer::singleShot(0, [] { throw kv::Error("Timer failed"); });
        QTimer::singleShot(20, [&] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(prompter.messageTexts(), std::vector<std::string>{"Timer failed."});
    }

    void fontsAreSubstitutedWhereMissing() {
        QFont courier("Courier New");
        QFont sans("MS Sans Serif");
        const QString mono = QFontInfo(courier).family();
        const QString prop = QFontInfo(sans).family();
        QVERIFY2(mono == "Courier New" || mono == "Liberation Mono", qPrintable(mono));
        QVERIFY2(prop == "MS Sans Serif" || prop == "Liberation Sans", qPrintable(prop));
        QVERIFY(QFontInfo(courier).fixedPitch());
    }
};

KORVANE_QTEST_MAIN(ApplicationTest)
#include "app_application_test.moc"
