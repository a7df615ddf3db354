// The "Last ADC measure" window against the simulated fuse on a pseudo-terminal.
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "app/errors.h"
#include "fake_host.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "gui/last_adc_window.h"
#include "link/link.h"
#include "scripted_prompter.h"
#include "sim_fixture.h"

namespace {

constexpr std::uint8_t kGetStatus = 0x15;

// A shorter time limit than the program's keeps the silent-device cases quick; the window
// does not depend on it.
kv::link::Timing TestTiming() {
    kv::link::Timing t;
    t.limit = std::chrono::milliseconds(600);
    return t;
}

} // namespace

class LastAdcWindowTest : public QObject {
    Q_OBJECT

    kvtest::ScriptedPrompter prompter_;
    std::unique_ptr<kvtest::SimFixture> fixture_;
    std::unique_ptr<kvtest::FakeHost> host_;
    std::unique_ptr<kv::link::Link> link_;
    std::unique_ptr<kv::AppContext> ctx_;
    std::unique_ptr<TForm5> form_;

    kv::sim::FuseSim &sim() { return fixture_->sim(); }
    QString Shown() const { return form_->adc->text(); }

    void SetAvgAdc(std::uint8_t hi, std::uint8_t lo) {
        sim().OverrideStatusByte(12, hi);
        sim().OverrideStatusByte(13, lo);
    }
    // Runs body while ShowMeasure holds the window open modally, then closes it with Close
    // if body left it open.
    void WhileOpen(const std::function<void()> &body) {
        bool ran = false;
        QTimer::singleShot(0, form_.get(), [&] {
            body();
            ran = true;
            if (form_->isVisible())
                QTest::mouseClick(form_->BitBtn1, Qt::LeftButton);
        });
        form_->ShowMeasure({kGetStatus}, 25);
        QVERIFY(ran);
        QVERIFY(!form_->isVisible());
    }
    bool Stopped() const {
        return !form_->Timer1->isActive() && form_->BitBtn2->isEnabled() &&
               !form_->BitBtn3->isEnabled();
    }

private slots:
    void init() {
        fixture_ = std::make_unique<kvtest::SimFixture>();
        host_ = std::make_unique<kvtest::FakeHost>();
        // The link's wait processes the window events too, as the main window's does, so
        // clicks and timer ticks can arrive while a refresh waits.
        host_->onProcessEvents = [] { QCoreApplication::processEvents(); };
        link_ = fixture_->MakeLink(*host_, TestTiming());
        ctx_ = std::make_unique<kv::AppContext>(prompter_, kv::ProgramPaths{"korvane", "/tmp/"});
        ctx_->link = link_.get();
        form_ = std::make_unique<TForm5>(*ctx_);
        SetAvgAdc(0x03, 0xFF);
        // What ShowMeasure stores, for the tests that drive the ticks themselves.
        form_->PrepareMeasure({kGetStatus}, 25);
    }
    void cleanup() {
        // A test's own event hook may refer to its locals; the link still pumps events
        // while it stops.
        host_->onProcessEvents = [] { QCoreApplication::processEvents(); };
        form_.reset();
        link_.reset();
        host_.reset();
        fixture_.reset();
        ctx_.reset();
        QCOMPARE(prompter_.prompts().size(), size_t(0));
    }

    void openingShowsDotsStoppedAndSendsNothing() {
        {
            TForm5 fresh(*ctx_);
            QCOMPARE(fresh.adc->text(), QString("..."));
            QVERIFY(!fresh.Timer1->isActive() && fresh.BitBtn2->isEnabled() &&
                    !fresh.BitBtn3->isEnabled());
        }
        // Left running with a value by an earlier use.
        form_->adc->setText("1");
        form_->SetRunning(true);
        WhileOpen([&] {
            QVERIFY(form_->isVisible());
            QVERIFY(form_->isModal());
            QCOMPARE(Shown(), QString("..."));
            QVERIFY(Stopped());
            QTest::qWait(1300); // longer than a timer interval
            QCOMPARE(sim().FrameCount(), size_t(0));
        });
        QCOMPARE(form_->result(), kv::IdCancel); // Close
        QCOMPARE(sim().FrameCount(), size_t(0));
        QCOMPARE(host_->logCount(), size_t(0));
    }

    void startRefreshesEverySecondFromBytes12And13() {
        WhileOpen([&] {
            QTest::mouseClick(form_->BitBtn2, Qt::LeftButton);
            QVERIFY(form_->Timer1->isActive());
            QVERIFY(!form_->BitBtn2->isEnabled());
            QVERIFY(form_->BitBtn3->isEnabled());
            QCOMPARE(sim().FrameCount(), size_t(0)); // the first refresh is a second away
            QTRY_COMPARE_WITH_TIMEOUT(Shown(), QString("1023"), 3000);
            const kv::sim::Frame getStatus{0x15, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            QCOMPARE(sim().Frames().at(0), getStatus);

            SetAvgAdc(0x12, 0x34);
            QTRY_COMPARE_WITH_TIMEOUT(Shown(), QString("4660"), 3000);

            // Stop keeps the last value and sends no more.
            QTest::mouseClick(form_->BitBtn3, Qt::LeftButton);
            QVERIFY(Stopped());
            const auto frames = sim().FrameCount();
            SetAvgAdc(0x00, 0x01);
            QTest::qWait(1300);
            QCOMPARE(sim().FrameCount(), frames);
            QCOMPARE(Shown(), QString("4660"));
        });
        QCOMPARE(host_->findLog("Cmd in progress..."), -1);
    }

    void silentOrShortReplyShowsQuestionMarksUntilTheFuseAnswers() {
        struct Step {
            std::function<void()> device;
            const char *shown;
        };
        const Step steps[] = {
            {[] {}, "1023"},
            {[&] { sim().SetSilent(true); }, "???"},
            {[&] { sim().SetSilent(false); }, "1023"},
            {[&] { sim().SetReplyLength(kGetStatus, 24); }, "???"},
            {[&] { sim().SetReplyLength(kGetStatus, std::nullopt); }, "1023"},
            {[&] {
                 sim().SetAdc(0);
                 SetAvgAdc(0, 0);
             },
             "0"},
            {[&] { SetAvgAdc(0xFF, 0xFF); }, "65535"},
        };
        int n = 0;
        for (const auto &s : steps) {
            s.device();
            form_->Timer1Timer();
            QVERIFY2(Shown() == s.shown, qPrintable(QString("step %1: %2").arg(n).arg(Shown())));
            QVERIFY(!form_->MeasureBusy.IsSet());
            ++n;
        }
        // Five digits are shrunk to fit the panel rather than cut at its edges; four keep
        // the full size.
        QVERIFY(QFontMetrics(form_->adc->font()).horizontalAdvance(Shown()) <= form_->adc->width());
        SetAvgAdc(0x27, 0x0F);
        form_->Timer1Timer();
        QCOMPARE(Shown(), QString("9999"));
        QCOMPARE(form_->adc->font().pixelSize(), 96);
        // Each failure is the link's own "Receive error!" line; the window adds no box.
        QVERIFY(host_->findLog("Receive error!") >= 0);
        QVERIFY(host_->errors().empty());
    }

    void tickWhileARefreshWaitsDoesNothing() {
        sim().SetSplit(kGetStatus, kv::sim::Faults::Split{10, 300}); // the reply takes a while
        int nested = 0;
        host_->onProcessEvents = [&] {
            QCoreApplication::processEvents();
            if (nested == 0 && form_->MeasureBusy.IsSet()) {
                ++nested;
                form_->Timer1Timer(); // a tick arriving during the wait
            }
        };
        form_->Timer1Timer();
        QCOMPARE(nested, 1);
        QCOMPARE(sim().FrameCount(), size_t(1));
        QCOMPARE(Shown(), QString("1023"));
        QCOMPARE(host_->findLog("Cmd in progress..."), -1);
        QCOMPARE(host_->beeps(), 0);
        QVERIFY(!form_->MeasureBusy.IsSet());
    }

    void failingRefreshClearsMeasureBusy() {
        host_->onProcessEvents = [] { throw kv::Error("event handler failed"); };
        bool thrown = false;
        try {
            form_->Timer1Timer();
        } catch (const kv::Error &) {
            thrown = true;
        }
        QVERIFY(thrown);
        QVERIFY(!form_->MeasureBusy.IsSet());
        host_->onProcessEvents = [] { QCoreApplication::processEvents(); };
        // The aborted exchange's reply is still on its way; let it land first.
        host_->PumpUntil([] { return false; }, 400);
        form_->Timer1Timer();
        QCOMPARE(Shown(), QString("1023"));
    }

    void withoutALinkEveryRefreshFails() {
        ctx_->link = nullptr;
        form_->Timer1Timer();
        QCOMPARE(Shown(), QString("???"));
        QVERIFY(!form_->MeasureBusy.IsSet());
    }

    void closingInAnyWayStopsAndReopeningShowsDots() {
        const std::pair<const char *, std::function<void()>> ways[] = {
            {"Close", [&] { QTest::mouseClick(form_->BitBtn1, Qt::LeftButton); }},
            {"close box", [&] { form_->close(); }},
            {"Esc", [&] { QTest::keyClick(form_.get(), Qt::Key_Escape); }},
        };
        for (const auto &[name, close] : ways) {
            WhileOpen([&] {
                QTest::mouseClick(form_->BitBtn2, Qt::LeftButton);
                form_->Timer1Timer();
                QCOMPARE(Shown(), QString("1023"));
                QVERIFY(form_->Timer1->isActive());
                close();
                QVERIFY2(!form_->isVisible(), name);
            });
            QVERIFY2(Stopped(), name);
            QCOMPARE(Shown(), QString("1023")); // kept until the next opening
            WhileOpen([&] {
                QCOMPARE(Shown(), QString("..."));
                QVERIFY2(Stopped(), name);
            });
        }
    }

    void layoutAndScreenshot() {
        QCOMPARE(form_->windowTitle(), QString("Last ADC measure"));
        QCOMPARE(form_->size(), QSize(275, 180));
        QCOMPARE(form_->minimumSize(), form_->maximumSize());
        QCOMPARE(form_->adc->geometry(), QRect(1, 5, 271, 131));
        QCOMPARE(form_->adc->alignment(), Qt::AlignCenter);
        QCOMPARE(form_->adc->font().family(), QString("Courier New"));
        QCOMPARE(form_->adc->font().pixelSize(), 96);
        QVERIFY(form_->adc->font().bold());
        QCOMPARE(form_->Timer1->interval(), 1000);
        const std::tuple<QPushButton *, const char *, int> buttons[] = {
            {form_->BitBtn1, "Close", 10},
            {form_->BitBtn2, "Start", 100},
            {form_->BitBtn3, "Stop", 190}};
        for (const auto &[b, text, left] : buttons) {
            QCOMPARE(b->text(), QString(text));
            QCOMPARE(b->geometry(), QRect(left, 145, 75, 25));
            QVERIFY(!b->icon().isNull());
            QCOMPARE(form_->findChild<QPushButton *>(b->objectName()), b);
        }

        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        form_->Timer1Timer();
        QCOMPARE(Shown(), QString("1023"));
        const QString dir = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(form_->grab().save(dir + "/last-adc-measure.png"));
        form_->hide();
    }
};

KORVANE_QTEST_MAIN(LastAdcWindowTest)
#include "last_adc_window_test.moc"
