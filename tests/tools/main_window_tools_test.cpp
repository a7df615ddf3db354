// The main window's tool menu items: "Calc ADC" and "Last ADC measure" opened from TForm1,
// with the settings file and the simulated fuse of a real run.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "gui/adc_calculator_window.h"
#include "gui/application.h"
#include "gui/last_adc_window.h"
#include "gui/main_window.h"
#include "window_rig.h"

class MainWindowToolsTest : public QObject, private kvtest::WindowRig {
    Q_OBJECT

    std::unique_ptr<TForm5> form5_;
    std::unique_ptr<TForm3> form3_;

    void Start(const std::string &extraIni) {
        StartFuse();
        MakeWindow(extraIni);
        form5_ = std::make_unique<TForm5>(*ctx);
        form3_ = std::make_unique<TForm3>(*ctx);
        form->UseWindows(nullptr, nullptr, form5_.get(), form3_.get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    // Triggers the menu item and runs body while the modal window it opens is shown; closes
    // the window afterwards if body did not.
    static void WhileOpen(QAction *item, QDialog *window, const std::function<void()> &body) {
        bool ran = false;
        QTimer::singleShot(0, window, [&] {
            if (window->isVisible())
                body();
            ran = true;
            if (window->isVisible())
                window->close();
        });
        item->trigger();
        QVERIFY(ran);
        QVERIFY(!window->isVisible());
    }

private slots:
    void cleanup() {
        form3_.reset();
        form5_.reset();
        CloseAll();
        QCOMPARE(prompter.unscripted(), 0);
    }

    void calcAdcShowsUmaxFromTheVoltageSetting() {
        Start("");
        QCOMPARE(form3_->ui->text(), QString("0")); // nothing computed before the first opening
        WhileOpen(kvtest::Named<QAction>(*form, "Calc1"), form3_.get(), [&] {
            QVERIFY(form3_->isModal());
            QCOMPARE(form3_->umax->text(), QString("5.000"));
            QCOMPARE(form3_->ui->text(), QString("0.000"));
            QCOMPARE(form3_->adc->text(), QString("0.0"));
            form3_->i->setText("6");
            form3_->umax->setText("2.5");
        });
        // The inputs stay from one opening to the next, but U max follows the setting.
        WhileOpen(kvtest::Named<QAction>(*form, "Calc1"), form3_.get(), [&] {
            QCOMPARE(form3_->i->text(), QString("6"));
            QCOMPARE(form3_->umax->text(), QString("5.000"));
            QCOMPARE(form3_->ui->text(), QString("2.500"));
        });
        QCOMPARE(sim->FrameCount(), size_t(0));
    }

    void calcAdcFormatsAnOtherVoltage() {
        Start("Voltage=3.3\r\n");
        WhileOpen(kvtest::Named<QAction>(*form, "Calc1"), form3_.get(), [&] {
            QCOMPARE(form3_->umax->text(), QString("3.300"));
            const QPoint d = form3_->frameGeometry().center() - form->frameGeometry().center();
            QVERIFY(d.manhattanLength() <= 4);
        });
    }

    void lastAdcMeasureRefreshesFromGetStatus() {
        Start("");
        sim->OverrideStatusByte(12, 0x03);
        sim->OverrideStatusByte(13, 0xFF);
        WhileOpen(kvtest::Named<QAction>(*form, "LastADCmeasure1"), form5_.get(), [&] {
            QCOMPARE(form5_->adc->text(), QString("..."));
            QVERIFY(form5_->BitBtn2->isEnabled());
            QVERIFY(!form5_->BitBtn3->isEnabled());
            QTest::mouseClick(form5_->BitBtn2, Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(form5_->adc->text(), QString("1023"), 4000);
        });
        QVERIFY(!form5_->Timer1->isActive());
        const kv::sim::Frame getStatus{0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        QVERIFY(sim->FrameCount() >= 1);
        QCOMPARE(sim->Frames().front(), getStatus);
        // Each refresh is an ordinary transaction in the main window's log.
        QVERIFY(form->LogLinesShown().size() >= 2);
    }
};

KORVANE_QTEST_MAIN(MainWindowToolsTest)
#include "main_window_tools_test.moc"
