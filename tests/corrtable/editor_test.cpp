// The correction table editor on the offscreen platform: layout, the buttons' questions and
// messages, the focus rule for a bad field, and the dialogs.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "corrtable/table_file.h"
#include "gui/application.h"
#include "gui/editor_window.h"
#include "gui/qt_prompter.h"
#include "scripted_prompter.h"
#include "temp_dir.h"

using namespace kv::corrtable;

class EditorTest : public QObject {
    Q_OBJECT

private:
    struct Fixture {
        kvtest::TempDir dir;
        kvtest::ScriptedPrompter prompter;
        kv::AppContext ctx{prompter, kv::ProgramPaths{"korvane", dir.path()}};
        TForm4 form{ctx};

        Fixture() {
            form.show();
            form.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form));
        }
        QLineEdit *edit(int n) { return form.Edit[static_cast<std::size_t>(n)]; }
        std::string text(int n) { return edit(n)->text().toStdString(); }
        void setAll(const QString &t) {
            for (QLineEdit *e : form.Edit)
                e->setText(t);
        }
    };

    static CorrTableData Varied() {
        CorrTableData t{};
        for (int n = 0; n < kEntries; ++n)
            t[static_cast<std::size_t>(n)] = static_cast<std::int8_t>((n * 29) % 255 - 127);
        return t;
    }

private slots:
    void layout() {
        Fixture f;
        TForm4 &w = f.form;
        QCOMPARE(w.windowTitle(), QString("Correction table"));
        QCOMPARE(w.size(), QSize(471, 374));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(w.pg1->geometry(), QRect(0, 0, 471, 331));
        QCOMPARE(w.pg1->count(), 3);
        QCOMPARE(w.pg1->tabText(0), QString("0-99"));
        QCOMPARE(w.pg1->tabText(1), QString("100-199"));
        QCOMPARE(w.pg1->tabText(2), QString("200-223"));
        QCOMPARE(w.pg1->currentIndex(), 0);
        QCOMPARE(w.findChildren<QLineEdit *>(QRegularExpression("^Edit\\d+$")).size(), 224);

        // Entry n: tab n / 100, row (n % 100) / 10, column n % 10.
        struct Cell {
            int n;
            QWidget *tab;
            QRect rect;
        };
        for (const Cell &c :
             {Cell{0, w.ts1, {14, 6, 42, 24}}, Cell{37, w.ts1, {322, 95, 42, 24}},
              Cell{99, w.ts1, {410, 269, 42, 24}}, Cell{150, w.ts2, {14, 153, 42, 24}},
              Cell{223, w.ts3, {146, 66, 42, 24}}}) {
            QLineEdit *e = w.findChild<QLineEdit *>(QString("Edit%1").arg(c.n));
            QVERIFY(e);
            QCOMPARE(e, f.edit(c.n));
            QCOMPARE(e->parentWidget(), c.tab);
            QCOMPARE(e->geometry(), c.rect);
            QCOMPARE(e->font().pixelSize(), 15);
            QVERIFY(e->font().bold());
        }
        QCOMPARE(w.findChildren<QLabel *>(QRegularExpression("^Label\\d+$")).size(), 23);
        QLabel *l = w.findChild<QLabel *>("Label23");
        QCOMPARE(l->parentWidget(), w.ts3);
        QCOMPARE(l->text(), QString("2"));
        QCOMPARE(l->pos(), QPoint(3, 71));
        QCOMPARE(w.findChild<QLabel *>("Label10")->text(), QString("9"));

        // Tab runs along rows and on across the tabs; the check byte field is not reached.
        for (int n = 0; n < 222; ++n) {
            QWidget *next = f.edit(n)->nextInFocusChain();
            QCOMPARE(next, static_cast<QWidget *>(f.edit(n + 1)));
        }
        QLineEdit *check = f.edit(223);
        QVERIFY(check->isReadOnly());
        QCOMPARE(check->focusPolicy(), Qt::ClickFocus);
        QCOMPARE(check->palette().color(QPalette::Base), QColor(192, 192, 192));
        QVERIFY(!f.edit(222)->isReadOnly());

        struct Button {
            const char *name;
            const char *text;
            int left;
            bool icon;
        };
        for (const Button &b :
             {Button{"BitBtn1", "Cancel", 8, true}, Button{"BitBtn2", "Write", 83, true},
              Button{"BitBtn3", "Clear 00", 158, true}, Button{"BitBtn5", "Load", 243, true},
              Button{"BitBtn6", "Save", 318, true}, Button{"BitBtn4", "CRC", 393, false}}) {
            auto *p = w.findChild<QPushButton *>(b.name);
            QVERIFY(p);
            QCOMPARE(p->text(), QString(b.text));
            QCOMPARE(p->geometry(), QRect(b.left, 339, 70, 25));
            QCOMPARE(!p->icon().isNull(), b.icon);
            QVERIFY(!p->autoDefault());
        }

        // The creation cleared the table; the dialogs start in the program's folder.
        QCOMPARE(f.ctx.CorrTable, CorrTableData{});
        QCOMPARE(w.od.initialDir, f.dir.path());
        QCOMPARE(w.sd.initialDir, f.dir.path());
        QCOMPARE(w.od.filter, std::string("*.epr|*.epr|*.*|*.*"));
        QCOMPARE(w.sd.defaultExt, std::string(".epr"));
        QVERIFY(w.sd.overwritePrompt && !w.od.overwritePrompt);
        QVERIFY(w.od.mustExist && w.sd.mustExist);
    }

    void showTableAndWriteValid() {
        Fixture f;
        f.form.ShowTable();
        for (int n = 0; n < kEntries; ++n)
            QCOMPARE(f.text(n), std::string("0"));

        const CorrTableData t = Varied();
        for (int n = 0; n < kEntries; ++n)
            f.edit(n)->setText(QString::fromStdString(EntryText(t[static_cast<std::size_t>(n)])));
        f.edit(5)->setText(" $7F ");
        f.form.hide();
        QTimer::singleShot(0, f.form.BitBtn2, &QPushButton::click);
        QCOMPARE(f.form.exec(), 1);
        QVERIFY(!f.form.isVisible());
        for (int n = 0; n < kEntries; ++n)
            QCOMPARE(f.ctx.CorrTable[static_cast<std::size_t>(n)],
                     n == 5 ? 127 : t[static_cast<std::size_t>(n)]);
        QVERIFY(f.prompter.prompts().empty());
    }

    void writeWithBadFieldOnShownTab() {
        Fixture f;
        f.setAll("4");
        f.edit(5)->setText("abc");
        f.edit(3)->setFocus();
        f.form.BitBtn2->click();
        QCOMPARE(f.prompter.messageTexts(),
                 std::vector<std::string>{"Invalid value 5:abc! (-127..127)"});
        QCOMPARE(f.form.focusWidget(), static_cast<QWidget *>(f.edit(5)));
        QVERIFY(f.form.isVisible());
        QCOMPARE(f.ctx.CorrTable[4], 4);
        QCOMPARE(f.ctx.CorrTable[5], 0);
    }

    void writeWithBadFieldOnHiddenTab() {
        Fixture f;
        f.setAll("4");
        f.edit(150)->setText("1.5");
        f.edit(3)->setFocus();
        f.form.BitBtn2->click();
        QCOMPARE(f.prompter.messageTexts(),
                 std::vector<std::string>{"Invalid value 150:1.5! (-127..127)"});
        QCOMPARE(f.form.focusWidget(), static_cast<QWidget *>(f.edit(3)));
        QCOMPARE(f.form.pg1->currentIndex(), 0);
        QVERIFY(f.form.isVisible());
        QCOMPARE(f.ctx.CorrTable[149], 4);
        QCOMPARE(f.ctx.CorrTable[150], 0);
    }

    void clearAsksFirst() {
        Fixture f;
        f.ctx.CorrTable = Varied();
        f.form.ShowTable();
        f.form.BitBtn3->click(); // unscripted: No
        QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{"Are you sure"});
        QCOMPARE(f.prompter.prompts()[0].buttons, kv::MsgButtons::YesNo);
        QCOMPARE(f.text(1), EntryText(Varied()[1]));

        f.prompter.AnswerMessage(kv::IdYes);
        f.form.BitBtn3->click();
        for (int n = 0; n < kEntries; ++n)
            QCOMPARE(f.text(n), std::string("0"));
        QCOMPARE(f.ctx.CorrTable, Varied()); // the table changes only on Write or Save
    }

    void crcFromTheTableNotTheFields() {
        Fixture f;
        f.ctx.CorrTable[222] = -1;
        f.form.ShowTable();
        f.form.BitBtn4->click(); // No: nothing changes
        QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{"Set CRC -46 into table?"});
        QCOMPARE(f.text(223), std::string("0"));
        QCOMPARE(f.ctx.CorrTable[223], 0);

        f.prompter.clear();
        f.prompter.AnswerMessage(kv::IdYes);
        f.form.BitBtn4->click();
        QCOMPARE(f.text(223), std::string("-46"));
        QCOMPARE(f.ctx.CorrTable[223], -46);

        // Typed values count only once written back.
        f.ctx.CorrTable.fill(0);
        f.form.ShowTable();
        f.edit(0)->setText("-1");
        f.prompter.clear();
        f.form.BitBtn4->click();
        QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{"Set CRC 0 into table?"});
        f.form.BitBtn2->click();
        QCOMPARE(f.form.result(), 1);
        f.form.ShowTable();
        f.form.show();
        f.prompter.clear();
        f.form.BitBtn4->click();
        QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{"Set CRC 99 into table?"});
    }

    // A table whose check byte comes out as 0x80: CRC sets -128, which Write and Save
    // refuse like any field's -128, so the window leaves only by Cancel.
    void checkByte0x80StopsWriteAndSave() {
        Fixture f;
        const std::string file = f.dir.File("crc80.epr");
        std::string text = "-127 21 ";
        for (int n = 2; n < kCorrections; ++n)
            text += "0 ";
        kvtest::TempDir::Write(file, text);
        f.prompter.AnswerFile(file);
        f.form.BitBtn5->click();
        f.prompter.AnswerMessage(kv::IdYes);
        f.form.BitBtn4->click();
        QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{"Set CRC -128 into table?"});
        QCOMPARE(f.text(223), std::string("-128"));
        QCOMPARE(f.ctx.CorrTable[223], -128);

        const std::string refused = "Invalid value 223:-128! (-127..127)";
        const std::string saved = f.dir.File("saved.epr");
        f.prompter.clear();
        f.prompter.AnswerFile(saved);
        f.form.BitBtn6->click(); // Save
        QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{refused});
        QVERIFY(!std::filesystem::exists(saved));

        // Write from another tab: the message, the focus stays; from the check byte's tab
        // the focus goes to it. The window stays open each time.
        f.edit(5)->setFocus();
        for (int tab : {0, 2}) {
            f.form.pg1->setCurrentIndex(tab);
            if (tab == 0)
                f.edit(5)->setFocus();
            f.prompter.clear();
            f.form.BitBtn2->click(); // Write
            QCOMPARE(f.prompter.messageTexts(), std::vector<std::string>{refused});
            QVERIFY(f.form.isVisible());
            QCOMPARE(QApplication::focusWidget(), f.edit(tab == 0 ? 5 : 223));
        }
        QCOMPARE(f.ctx.CorrTable[0], -127);
        QCOMPARE(f.ctx.CorrTable[1], 21);

        f.form.BitBtn1->click(); // Cancel
        QCOMPARE(f.form.result(), 2);
        QVERIFY(!f.form.isVisible());
    }

    void loadThenCancelKeepsTheTable() {
        Fixture f;
        const std::string file = f.dir.File("t.epr");
        QVERIFY(WriteTableFile(file, Varied()).ok);
        f.prompter.AnswerFile(file);
        f.form.BitBtn5->click();
        QCOMPARE(f.prompter.prompts()[0].dialog.title, std::string("Open"));
        QCOMPARE(f.prompter.prompts()[0].dialog.initialDir, f.dir.path());
        QCOMPARE(f.text(100), EntryText(Varied()[100]));
        QCOMPARE(f.ctx.CorrTable, Varied());

        f.form.BitBtn1->click();
        QCOMPARE(f.form.result(), 2);
        QVERIFY(!f.form.isVisible());
        QCOMPARE(f.ctx.CorrTable, Varied());

        // The next Load starts from the file chosen before; a cancelled dialog does nothing.
        f.prompter.AnswerFile(std::nullopt);
        f.form.BitBtn5->click();
        QCOMPARE(f.prompter.prompts()[1].dialog.fileName, file);
        QCOMPARE(f.ctx.CorrTable, Varied());
    }

    void escapeAndCloseGiveCancel() {
        Fixture f;
        QTest::keyClick(&f.form, Qt::Key_Escape);
        QCOMPARE(f.form.result(), 2);
        QVERIFY(!f.form.isVisible());
        f.form.show();
        f.form.close();
        QCOMPARE(f.form.result(), 2);
        QTimer::singleShot(0, f.form.BitBtn1, &QPushButton::click);
        QCOMPARE(f.form.exec(), 2);
    }

    void loadFailuresShowTheirMessage() {
        Fixture f;
        const std::string file = f.dir.File("bad.epr");
        kvtest::TempDir::Write(file, "1 2 x 4");
        f.ctx.CorrTable.fill(9);
        f.prompter.AnswerFile(file);
        f.form.BitBtn5->click();
        QCOMPARE(f.prompter.messageTexts(),
                 std::vector<std::string>{"'x' is not a valid integer value"});
        QCOMPARE(f.text(0), std::string("1"));
        QCOMPARE(f.text(1), std::string("2"));
        QCOMPARE(f.text(2), std::string("0"));
        QCOMPARE(f.ctx.CorrTable[2], 0);
        QCOMPARE(f.ctx.CorrTable[256], 0);

        // LoadTableFile into another buffer fills it and shows CorrTable again.
        CorrTableData own{};
        kvtest::TempDir::Write(file, "5 6");
        f.edit(0)->setText("77");
        f.form.LoadTableFile(file, own);
        QCOMPARE(own[1], 6);
        QCOMPARE(f.text(0), std::string("1"));
    }

    void saveReadsTheFieldsAfterTheFileName() {
        Fixture f;
        const std::string file = f.dir.File("out.epr");
        f.setAll("3");
        f.edit(7)->setText("1.5");
        f.prompter.AnswerFile(file);
        f.form.BitBtn6->click();
        const auto prompts = f.prompter.prompts();
        QCOMPARE(prompts.size(), std::size_t(2));
        QCOMPARE(prompts[0].kind, kvtest::Prompt::Kind::File);
        QCOMPARE(prompts[0].dialog.title, std::string("Save"));
        QCOMPARE(prompts[1].text, std::string("Invalid value 7:1.5! (-127..127)"));
        QVERIFY(!std::filesystem::exists(file));
        QCOMPARE(f.ctx.CorrTable[6], 3);

        f.edit(7)->setText("-7");
        f.prompter.clear();
        f.prompter.AnswerFile(file);
        f.form.BitBtn6->click();
        QVERIFY(f.prompter.messageTexts().empty());
        QCOMPARE(kvtest::TempDir::Read(file), TableFileText(f.ctx.CorrTable));
        QCOMPARE(f.ctx.CorrTable[7], -7);

        // A cancelled dialog reads nothing back.
        f.edit(0)->setText("bad");
        f.prompter.clear();
        f.prompter.AnswerFile(std::nullopt);
        f.form.BitBtn6->click();
        QCOMPARE(f.prompter.prompts().size(), std::size_t(1));
    }

    void failedSaveIsReported() {
        Fixture f;
        const std::string file = f.dir.File("kept.epr");
        kvtest::TempDir::Write(file, "1 2 3 ");
        std::filesystem::permissions(file, std::filesystem::perms::owner_read);
        f.form.ShowTable();
        f.prompter.AnswerFile(file);
        f.form.BitBtn6->click();
        const auto texts = f.prompter.messageTexts();
        QCOMPARE(texts.size(), std::size_t(1));
        QVERIFY(texts[0].rfind("Cannot write file " + file + ": ", 0) == 0);
        QCOMPARE(f.prompter.prompts()[1].icon, kv::MsgIcon::Error);
        QCOMPARE(kvtest::TempDir::Read(file), std::string("1 2 3 "));
        QVERIFY(f.form.isVisible());
    }

    // The refusal with the program's own boxes: CRC answered Yes, then Write. The box sits
    // over the editor; the screenshot shows both as they are placed on the screen.
    void screenshotOfTheRefusedCheckByte() {
        const QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (shots.isEmpty())
            QSKIP("KORVANE_SCREENSHOT_DIR is not set");
        kvtest::TempDir dir;
        QtPrompter prompter;
        kv::AppContext ctx{prompter, kv::ProgramPaths{"korvane", dir.path()}};
        TForm4 form{ctx};
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        ctx.CorrTable[0] = -127;
        ctx.CorrTable[1] = 21;
        form.ShowTable();
        form.pg1->setCurrentIndex(2);

        // Answers the next box with its first button, after fn has seen it.
        auto answer = [](const std::function<void(QMessageBox *)> &fn) {
            QTimer::singleShot(50, [fn] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                fn(box);
                box->buttons().front()->click();
            });
        };
        answer(
            [](QMessageBox *box) { QCOMPARE(box->text(), QString("Set CRC -128 into table?")); });
        form.BitBtn4->click();
        QCOMPARE(form.Edit[kCheckIndex]->text(), QString("-128"));

        QString refused;
        answer([&](QMessageBox *box) {
            refused = box->text();
            QPixmap shot(form.frameGeometry().united(box->frameGeometry()).size());
            shot.fill(Qt::darkGray);
            QPainter p(&shot);
            const QPoint origin = form.frameGeometry().united(box->frameGeometry()).topLeft();
            p.drawPixmap(form.geometry().topLeft() - origin, form.grab());
            p.drawPixmap(box->geometry().topLeft() - origin, box->grab());
            p.end();
            QVERIFY(shot.save(shots + "/correction-table-refused.png"));
        });
        form.BitBtn2->click(); // Write
        QCOMPARE(refused, QString("Invalid value 223:-128! (-127..127)"));
        QVERIFY(form.isVisible());
        form.reject();
    }

    void screenshot() {
        Fixture f;
        const std::string file = f.dir.File("shot.epr");
        CorrTableData t = Varied();
        t[223] = static_cast<std::int8_t>(TableCrc(t));
        QVERIFY(WriteTableFile(file, t).ok);
        f.form.LoadTableFile(file, f.ctx.CorrTable);
        QCOMPARE(f.ctx.CorrTable, t);
        const QString dir = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("KORVANE_SCREENSHOT_DIR is not set");
        QVERIFY(f.form.grab().save(dir + "/correction-table.png"));
    }
};

KORVANE_QTEST_MAIN(EditorTest)
#include "editor_test.moc"
