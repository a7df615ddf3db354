// The Qt prompter against real dialogs: each dialog is inspected and answered from a timer
// while it runs, so no test waits on a person.
#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "gui/application.h"
#include "gui/qt_prompter.h"
#include "gui/window_placement.h"
#include "temp_dir.h"

namespace {

// Runs fn on the first modal dialog that appears; a dialog still open after 5 s is
// rejected so that a failing test ends.
void WhenModal(const std::function<void(QDialog *)> &fn) {
    auto *timer = new QTimer(QCoreApplication::instance());
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, fn, started] {
        auto *dlg = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dlg && dlg->isVisible()) {
            timer->stop();
            timer->deleteLater();
            fn(dlg);
            if (dlg->isVisible() && QApplication::activeModalWidget() == dlg)
                QTimer::singleShot(0, dlg, [dlg] { dlg->reject(); });
        } else if (started->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

QAbstractButton *ButtonOf(QMessageBox *box, QMessageBox::StandardButton which) {
    return box->button(which);
}

} // namespace

class QtPrompterTest : public QObject {
    Q_OBJECT

private slots:
    void messageBoxesHaveTheirCaptionIconButtonsAndResults_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("result");
        using B = QMessageBox::StandardButton;
        QTest::newRow("ok") << int(kv::MsgButtons::Ok) << int(B::Ok) << kv::IdOk;
        QTest::newRow("yes") << int(kv::MsgButtons::YesNo) << int(B::Yes) << kv::IdYes;
        QTest::newRow("no") << int(kv::MsgButtons::YesNo) << int(B::No) << kv::IdNo;
        QTest::newRow("cancel") << int(kv::MsgButtons::YesNoCancel) << int(B::Cancel)
                                << kv::IdCancel;
        QTest::newRow("yesnocancel-no")
            << int(kv::MsgButtons::YesNoCancel) << int(B::No) << kv::IdNo;
        // Escape: No for a Yes/No box, Cancel where there is one.
        QTest::newRow("escape-yesno") << int(kv::MsgButtons::YesNo) << 0 << kv::IdNo;
        QTest::newRow("escape-cancel") << int(kv::MsgButtons::YesNoCancel) << 0 << kv::IdCancel;
    }

    void messageBoxesHaveTheirCaptionIconButtonsAndResults() {
        QFETCH(int, buttons);
        QFETCH(int, press);
        QFETCH(int, result);
        QtPrompter p;
        bool seen = false;
        WhenModal([&](QDialog *dlg) {
            auto *box = qobject_cast<QMessageBox *>(dlg);
            QVERIFY(box);
            seen = true;
            QCOMPARE(box->windowTitle(), QString("Question"));
            QCOMPARE(box->text(), QString("Line one\nLine two\nthree"));
            QCOMPARE(box->icon(), QMessageBox::Question);
            QVERIFY(box->windowFlags() & Qt::WindowStaysOnTopHint);
            QCOMPARE(box->windowModality(), Qt::ApplicationModal);
            const int expectedButtons = buttons == int(kv::MsgButtons::Ok)      ? 1
                                        : buttons == int(kv::MsgButtons::YesNo) ? 2
                                                                                : 3;
            QCOMPARE(int(box->buttons().size()), expectedButtons);
            // The first button is the default.
            auto first = buttons == int(kv::MsgButtons::Ok) ? QMessageBox::Ok : QMessageBox::Yes;
            QCOMPARE(box->defaultButton(), ButtonOf(box, first));
            if (press)
                ButtonOf(box, QMessageBox::StandardButton(press))->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        const int r = p.Message("Question", "Line one\r\nLine two\rthree", kv::MsgIcon::Question,
                                kv::MsgButtons(buttons));
        QVERIFY(seen);
        QCOMPARE(r, result);
    }

    void errorAndInformationIcons() {
        QtPrompter p;
        QMessageBox::Icon icon{};
        WhenModal([&](QDialog *dlg) {
            icon = qobject_cast<QMessageBox *>(dlg)->icon();
            qobject_cast<QMessageBox *>(dlg)->button(QMessageBox::Ok)->click();
        });
        QCOMPARE(kv::ShowError(p, "Restart error!"), kv::IdOk);
        QCOMPARE(icon, QMessageBox::Critical);
        WhenModal([&](QDialog *dlg) {
            icon = qobject_cast<QMessageBox *>(dlg)->icon();
            QTest::keyClick(dlg, Qt::Key_Return); // the default button
        });
        QCOMPARE(kv::ShowInfo(p, "Korvane service"), kv::IdOk);
        QCOMPARE(icon, QMessageBox::Information);
    }

    // Message boxes and text-entry dialogs sit centred over the window the user clicked in last
    // (not the one left active), as its child, and is wide enough for its caption.
    void dialogsSitOverTheirWindowAndShowTheirCaption_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("message") << "message";
        QTest::newRow("input") << "input";
    }
    void dialogsSitOverTheirWindowAndShowTheirCaption() {
        QFETCH(QString, kind);
        QWidget owner;
        owner.setGeometry(200, 150, 600, 420);
        owner.show();
        QWidget other;
        other.setGeometry(900, 500, 200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTest::mouseClick(&owner, Qt::LeftButton);

        QtPrompter p;
        QWidget *parent = nullptr;
        QRect frame;
        int captionWidth = 0;
        WhenModal([&](QDialog *dlg) {
            parent = dlg->parentWidget();
            frame = dlg->frameGeometry();
            captionWidth = kv::CaptionWidth(dlg->windowTitle());
            dlg->reject();
        });
        if (kind == "message")
            kv::ShowInfo(p, "Done");
        else
            p.InputQuery("Set current timer interval", "Seconds", "5");
        QCOMPARE(parent, &owner);
        QVERIFY((frame.center() - owner.frameGeometry().center()).manhattanLength() <= 2);
        QVERIFY(frame.width() >= captionWidth);
        QVERIFY(captionWidth > kv::CaptionWidth(""));
    }

    void filterTextIsConvertedToQtForm() {
        const auto entries = QtPrompter::ParseFilter("*.epr|*.epr|Text files|*.txt;*.log|*.*|*.*");
        QCOMPARE(int(entries.size()), 3);
        QCOMPARE(QtPrompter::QtFilterText(entries[0]), QString("*.epr (*.epr)"));
        QCOMPARE(QtPrompter::QtFilterText(entries[1]), QString("Text files (*.txt *.log)"));
        QCOMPARE(QtPrompter::QtFilterText(entries[2]), QString("*.* (*.*)"));
        QVERIFY(QtPrompter::ParseFilter("").empty());
        QCOMPARE(int(QtPrompter::ParseFilter("odd|*.a|dangling").size()), 1);
    }

    // A save dialog starts in its folder with the proposed name and the chosen filter, adds
    // the default extension, and reports the full path and the filter the user took.
    void saveDialogReportsPathFilterAndFolder() {
        kvtest::TempDir dir;
        QtPrompter p;
        kv::FileDialog d;
        d.kind = kv::FileDialog::Kind::Save;
        d.title = "Save correction table";
        d.filter = "*.epr|*.epr|*.*|*.*";
        d.defaultExt = ".epr";
        d.initialDir = dir.path();
        d.fileName = "corrtbl.epr";
        d.filterIndex = 2;
        d.overwritePrompt = true;
        WhenModal([&](QDialog *dlg) {
            auto *fd = qobject_cast<QFileDialog *>(dlg);
            QVERIFY(fd);
            QCOMPARE(fd->windowTitle(), QString("Save correction table"));
            QCOMPARE(fd->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(fd->nameFilters(), QStringList({"*.epr (*.epr)", "*.* (*.*)"}));
            QCOMPARE(fd->selectedNameFilter(), QString("*.* (*.*)"));
            QCOMPARE(fd->defaultSuffix(), QString("epr"));
            QVERIFY(!fd->testOption(QFileDialog::DontConfirmOverwrite));
            QCOMPARE(QDir(fd->directory()).canonicalPath(),
                     QDir(QString::fromStdString(dir.path())).canonicalPath());
            fd->selectNameFilter("*.epr (*.epr)");
            fd->selectFile("mytable");
            static_cast<QDialog *>(fd)->accept();
        });
        QVERIFY(p.RunFileDialog(d));
        QCOMPARE(QFileInfo(QString::fromStdString(d.fileName)).fileName(), QString("mytable.epr"));
        QVERIFY(QFileInfo(QString::fromStdString(d.fileName)).isAbsolute());
        QCOMPARE(d.filterIndex, 1);
    }

    void cancelledDialogsChangeNothing() {
        QtPrompter p;
        kv::FileDialog d;
        d.title = "Open";
        d.filter = "*.sav|*.sav";
        d.fileName = "keep.sav";
        WhenModal([](QDialog *dlg) { dlg->reject(); });
        QVERIFY(!p.RunFileDialog(d));
        QCOMPARE(d.fileName, std::string("keep.sav"));

        WhenModal([](QDialog *dlg) { dlg->reject(); });
        QVERIFY(!p.InputQuery("Set Interval", "Seconds", "5").has_value());
    }

    void inputQueryReturnsTheTypedText() {
        QtPrompter p;
        WhenModal([](QDialog *dlg) {
            auto *in = qobject_cast<QInputDialog *>(dlg);
            QVERIFY(in);
            QCOMPARE(in->windowTitle(), QString("Multiply"));
            QCOMPARE(in->labelText(), QString("Value"));
            QCOMPARE(in->textValue(), QString("85"));
            in->setTextValue("  90 ");
            in->accept();
        });
        QCOMPARE(p.InputQuery("Multiply", "Value", "85"), std::optional<std::string>("  90 "));
    }
};

KORVANE_QTEST_MAIN(QtPrompterTest)
#include "app_qt_prompter_test.moc"
