// The "Calc ADC" window, offscreen: creation, typing into the fields, layout and focus.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

#include "gui/adc_calculator_window.h"
#include "gui/app_context.h"
#include "gui/application.h"
#include "scripted_prompter.h"

class AdcCalculatorWindowTest : public QObject {
    Q_OBJECT

    kvtest::ScriptedPrompter prompter_;
    std::unique_ptr<kv::AppContext> ctx_;
    std::unique_ptr<TForm3> form_;

    // Replaces the whole text of a field by typing, as a user would.
    static void Type(QLineEdit *e, const QString &text) {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    QString Ui() const { return form_->ui->text(); }
    QString Adc() const { return form_->adc->text(); }

private slots:
    void init() {
        ctx_ = std::make_unique<kv::AppContext>(prompter_, kv::ProgramPaths{"korvane", "/tmp/"});
        form_ = std::make_unique<TForm3>(*ctx_);
    }
    void cleanup() {
        form_.reset();
        ctx_.reset();
        QCOMPARE(prompter_.prompts().size(), size_t(0)); // the calculator never asks
    }

    // Under a dark desktop theme (light text) the fields' fixed light backgrounds get dark
    // text; the labels keep the theme's.
    void darkThemeKeepsTheFieldsReadable() {
        form_.reset();
        const QPalette before = QApplication::palette();
        QPalette dark = before;
        dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Text, Qt::white);
        QApplication::setPalette(dark);
        form_ = std::make_unique<TForm3>(*ctx_);
        QApplication::setPalette(before);
        for (QLineEdit *e :
             {form_->umax, form_->imax, form_->adcmax, form_->i, form_->ui, form_->adc})
            QCOMPARE(e->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(form_->umax->palette().color(QPalette::Base), QColor(0xC0, 0xC0, 0xC0));
    }

    void creationComputesNothing() {
        QCOMPARE(form_->windowTitle(), QString("Calc ADC"));
        QCOMPARE(form_->umax->text(), QString("5.0"));
        QCOMPARE(form_->imax->text(), QString("12"));
        QCOMPARE(form_->adcmax->text(), QString("1023"));
        QCOMPARE(form_->i->text(), QString("0"));
        QCOMPARE(Ui(), QString("0"));
        QCOMPARE(Adc(), QString("0"));
    }

    void umaxSetByTheOpenerComputes() {
        form_->umax->setText("5.000");
        QCOMPARE(Ui(), QString("0.000"));
        QCOMPARE(Adc(), QString("0.0"));
    }

    // The conversion cases themselves are the logic test's table; here, that every input
    // field drives it and the results follow each keystroke.
    void everyInputRecomputesAsItIsTyped() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        Type(form_->i, "6");
        QCOMPARE(Ui(), QString("2.500"));
        QCOMPARE(Adc(), QString("511.5"));
        Type(form_->adcmax, "$3FF");
        QCOMPARE(Adc(), QString("511.5"));
        Type(form_->imax, "0");
        QCOMPARE(Ui(), QString("???"));
        QCOMPARE(Adc(), QString("???"));
        Type(form_->imax, "24");
        QCOMPARE(Ui(), QString("1.250"));
        Type(form_->umax, "2,5");
        QCOMPARE(Ui(), QString("???"));
        Type(form_->umax, "-10");
        QCOMPARE(Ui(), QString("-2.500"));
        Type(form_->i, "");
        QCOMPARE(Adc(), QString("???"));
        // The results cannot be typed into.
        Type(form_->ui, "9");
        QCOMPARE(Ui(), QString("???"));
    }

    void layoutColoursAndFonts() {
        QCOMPARE(form_->size(), QSize(202, 201));
        QCOMPARE(form_->minimumSize(), form_->maximumSize());
        QCOMPARE(form_->font().pixelSize(), 16);
        QVERIFY(form_->font().bold());
        QCOMPARE(form_->font().family(), QString("MS Sans Serif"));

        struct Row {
            QLineEdit *field;
            const char *label;
            QColor colour;
            bool readOnly;
        };
        const Row rows[] = {
            {form_->umax, "U max", QColor(192, 192, 192), false},
            {form_->imax, "I max", QColor(192, 192, 192), false},
            {form_->adcmax, "ADC max", QColor(192, 192, 192), false},
            {form_->i, "input I ", QColor(255, 0, 255), false},
            {form_->ui, "U adc", QColor(0, 255, 0), true},
            {form_->adc, "ADC div", QColor(0, 255, 0), true},
        };
        int lastTop = -1;
        for (const auto &r : rows) {
            QCOMPARE(r.field->geometry().left(), 110);
            QCOMPARE(r.field->size(), QSize(80, 28));
            QVERIFY(r.field->geometry().top() > lastTop); // one under the other
            QVERIFY(r.field->geometry().bottom() < 201);
            lastTop = r.field->geometry().bottom();
            QCOMPARE(r.field->palette().color(QPalette::Base), r.colour);
            QCOMPARE(r.field->isReadOnly(), r.readOnly);
            QCOMPARE(form_->findChild<QLineEdit *>(r.field->objectName()), r.field);
            QLabel *label = nullptr;
            for (auto *l : form_->findChildren<QLabel *>())
                if (l->buddy() == r.field)
                    label = l;
            QVERIFY(label != nullptr);
            QCOMPARE(label->text(), QString(r.label));
            QCOMPARE(label->geometry().left(), 20);
        }
    }

    void tabVisitsTheInputsInOrderAndSkipsTheResults() {
        form_->show();
        QApplication::setActiveWindow(form_.get());
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        QCOMPARE(QApplication::focusWidget(), form_->i);
        const QLineEdit *expected[] = {form_->umax, form_->imax, form_->adcmax, form_->i,
                                       form_->umax};
        for (const QLineEdit *e : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), e);
        }
    }

    void screenshot() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        Type(form_->i, "6");
        const QString dir = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(form_->grab().save(dir + "/adc-calculator.png"));
    }
};

KORVANE_QTEST_MAIN(AdcCalculatorWindowTest)
#include "adc_calculator_window_test.moc"
