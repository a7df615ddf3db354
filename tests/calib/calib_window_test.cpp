// The calibration window on the offscreen platform: its grid, the .sav file, the close
// query, the graph's pixels and the correction table run with the real editor window.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>

#include "app/errors.h"
#include "calib/cal_grid.h"
#include "corrtable/table_file.h"
#include "gui/application.h"
#include "gui/calib_grid_view.h"
#include "gui/calib_window.h"
#include "gui/editor_window.h"
#include "scripted_prompter.h"
#include "temp_dir.h"

using kvtest::Prompt;

namespace {

const QColor kFuchsia(255, 0, 255);
const QColor kTeal(0, 128, 128);

std::string Lines(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "\r\n";
    return s;
}

} // namespace

class CalibWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<kvtest::TempDir> dir_;
    std::unique_ptr<kvtest::ScriptedPrompter> prompter_;
    std::unique_ptr<kv::AppContext> ctx_;
    std::unique_ptr<TForm2> form_;

    TForm2 &Make(int gridLines = 15) {
        form_.reset();
        ctx_ =
            std::make_unique<kv::AppContext>(*prompter_, kv::ProgramPaths{"korvane", dir_->path()});
        ctx_->GridLines = gridLines;
        form_ = std::make_unique<TForm2>(*ctx_);
        return *form_;
    }

    // Shows the window with its image at exactly w x h pixels.
    void ShowWithImage(TForm2 &f, int w, int h) {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *img = f.findChild<QLabel *>("img");
        f.resize(f.width() + w - img->width(), f.height() + h - img->height());
        QTRY_COMPARE(img->size(), QSize(w, h));
        QCOMPARE(f.Bitmap().size(), QSize(w, h));
    }

    void SetRows(TForm2 &f, const std::vector<std::array<std::string, 3>> &rows) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            for (int c = 0; c < 3; ++c)
                f.SetCellText(2 + c, static_cast<int>(i) + 1, rows[i][static_cast<std::size_t>(c)]);
    }

    static int CountColor(const QImage &img, const QColor &c) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += img.pixelColor(x, y) == c;
        return n;
    }

    // A black 15-pixel cross at (x, y); the polyline leaving the point may cover a few of
    // its pixels.
    static bool IsCross(const QImage &img, int x, int y) {
        int black = 0;
        for (int d = -7; d <= 7; ++d)
            black +=
                (img.pixelColor(x + d, y) == Qt::black) + (img.pixelColor(x, y + d) == Qt::black);
        return black >= 20 && img.pixelColor(x - 7, y) == Qt::black &&
               img.pixelColor(x + 7, y) == Qt::black && img.pixelColor(x, y + 7) == Qt::black &&
               img.pixelColor(x - 9, y) != Qt::black;
    }

    // The share of steps along the straight line from a to b that hit colour c within one
    // pixel across the line.
    static double Coverage(const QImage &img, QPoint a, QPoint b, const QColor &c) {
        int hits = 0;
        const int steps = std::max(std::abs(b.x() - a.x()), std::abs(b.y() - a.y()));
        for (int i = 1; i < steps; ++i) {
            const int x = a.x() + (b.x() - a.x()) * i / steps;
            const int y = a.y() + (b.y() - a.y()) * i / steps;
            bool hit = false;
            for (int dy = -1; dy <= 1 && !hit; ++dy)
                for (int dx = -1; dx <= 1 && !hit; ++dx)
                    hit = img.pixelColor(x + dx, y + dy) == c;
            hits += hit;
        }
        return steps > 1 ? double(hits) / (steps - 1) : 0;
    }

    QAction *Action(TForm2 &f, const char *name) { return f.findChild<QAction *>(name); }

    // The open cell editor (a closed one may linger until it is deleted).
    static QLineEdit *Editor(QTableView *sg) {
        for (QLineEdit *e : sg->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    }

    // A cell editor that was closed; the view deletes it soon after.
    static bool Closed(const QPointer<QLineEdit> &editor) {
        return !editor || !editor->isVisible();
    }

    // The view's index of grid cell (col, row); the view's cells are columns 2..4.
    static QModelIndex At(QTableView *sg, int col, int row) {
        return sg->model()->index(row - 1, col - 2);
    }

private slots:
    void init() {
        dir_ = std::make_unique<kvtest::TempDir>();
        prompter_ = std::make_unique<kvtest::ScriptedPrompter>();
        KorvaneApplication::instance()->setPrompter(prompter_.get());
    }
    void cleanup() {
        form_.reset();
        ctx_.reset();
        QCOMPARE(prompter_->unscripted(), 0);
    }

    // A dark desktop theme's button face under the fixed columns: their text turns light.
    // A window larger than the screen (a large scale factor) is fitted on it when shown.
    void darkThemeAndSmallScreen() {
        TForm2 &f = Make(5);
        QPalette dark = f.palette();
        dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
        f.setPalette(dark);
        QImage img(40, 24, QImage::Format_RGB32);
        {
            QPainter p(&img);
            f.sgDrawCell(p, 0, 1, img.rect(), false, false);
        }
        int lightest = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                lightest = std::max(lightest, QColor(img.pixel(x, y)).lightness());
        QVERIFY2(lightest > 200, std::to_string(lightest).c_str());

        const QRect avail = f.screen()->availableGeometry();
        f.resize(avail.width() + 300, avail.height() + 300);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(avail.contains(f.frameGeometry()));
    }

    void layoutGridAndMenu() {
        TForm2 &f = Make();
        auto *sg = f.findChild<QTableView *>("sg");
        QVERIFY(sg);
        QCOMPARE(sg->model()->rowCount(), 15);
        QCOMPARE(sg->model()->columnCount(), 3); // columns 0 and 1 are fixed
        QCOMPARE(sg->model()->headerData(0, Qt::Vertical).toString(), QString(" 1"));
        QCOMPARE(sg->model()->headerData(14, Qt::Vertical).toString(), QString("15"));
        QCOMPARE(sg->model()->headerData(0, Qt::Horizontal).toString(), QString("  I"));
        QCOMPARE(sg->verticalHeader()->width(), 28 + 60);
        QVERIFY(sg->model()->flags(At(sg, 2, 1)) & Qt::ItemIsEditable);

        QStringList items;
        const auto actions = f.menuBar()->actions().at(0)->menu()->actions();
        for (QAction *a : actions)
            items << (a->isSeparator() ? QString("-") : a->text());
        QCOMPARE(items, (QStringList{"Save", "Load", "Clear", "Update Graph", "-",
                                     "Calc Correction Table"}));
        QCOMPARE(Action(f, "UpdateGraph1")->shortcut(), QKeySequence("Ctrl+U"));
        QCOMPARE(f.SavFileName(), dir_->File("korvane.sav"));
    }

    void saveAndLoadShareTheFileName() {
        TForm2 &f = Make();
        const std::string file = dir_->File("empty.sav");
        prompter_->AnswerFile(file);
        f.Save1Click();
        QCOMPARE(kvtest::TempDir::Read(file), Lines(45));
        QCOMPARE(f.SavFileName(), file);
        QCOMPARE(prompter_->prompts().back().dialog.fileName, dir_->File("korvane.sav"));

        prompter_->AnswerFile(std::nullopt);
        f.Load1Click();
        QCOMPARE(prompter_->prompts().back().dialog.fileName, file);
        QCOMPARE(prompter_->prompts().back().dialog.filter, std::string("*.sav|*.sav|*.*|*.*"));
    }

    void loadFillsWhatTheFileHolds() {
        TForm2 &f = Make();
        SetRows(f, {{"9.99", "1", "2"}, {"9.99", "3", "4"}, {"9.99", "5", "6"}});
        const std::string file = dir_->File("four.sav");
        kvtest::TempDir::Write(file, "0.00\r\n3\r\n\r\n1.00\r\n");
        prompter_->AnswerFile(file);
        f.Load1Click();
        auto &g = f.Grid();
        QCOMPARE(g.Cell(2, 1), std::string("0.00"));
        QCOMPARE(g.Cell(3, 1), std::string("3"));
        QCOMPARE(g.Cell(4, 1), std::string(""));
        QCOMPARE(g.Cell(2, 2), std::string("1.00"));
        QCOMPARE(g.Cell(3, 2), std::string("3"));
        QCOMPARE(g.Cell(4, 3), std::string("6"));
        QVERIFY(!f.DataModified());
        QCOMPARE(g.Cell(1, 2), std::string("85.3"));

        // A file that cannot be read: its reason in an error box, nothing changed.
        prompter_->AnswerFile(dir_->File("missing.sav"));
        f.Load1Click();
        QVERIFY(prompter_->messageTexts().back().find("missing.sav") != std::string::npos);
        QCOMPARE(g.Cell(2, 1), std::string("0.00"));
    }

    void typingThroughTheMaskedEditor() {
        TForm2 &f = Make();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *sg = f.findChild<QTableView *>("sg");
        sg->setFocus();
        sg->setCurrentIndex(At(sg, 2, 1));
        QTest::keyClick(sg, '0'); // the first key opens the editor and goes into it
        QPointer<QLineEdit> editor = Editor(sg);
        QVERIFY(editor);
        QCOMPARE(editor->inputMask(), QString("0.00"));
        QTest::keyClicks(editor, "50");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(f.Grid().Cell(2, 1), std::string("0.50"));
        QTRY_COMPARE(f.Grid().Cell(1, 1), std::string("42.6")); // redrawn by the Enter
        QVERIFY(f.DataModified());

        // A digit typed and taken back leaves only the point: no nominal value.
        sg->setCurrentIndex(At(sg, 2, 2));
        QTest::keyClick(sg, '5');
        editor = Editor(sg);
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(Closed(editor));
        QCOMPARE(QString::fromStdString(f.Grid().Cell(2, 2)).remove(' '), QString("."));
        QVERIFY(f.DataModified());

        // Passing through a cell without typing keeps a text longer than the mask.
        f.SetCellText(2, 3, "1.2345");
        sg->setCurrentIndex(At(sg, 2, 3));
        QTest::keyClick(sg, Qt::Key_Return);
        editor = Editor(sg);
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(f.Grid().Cell(1, 3), std::string("105.2")); // redrawn by the Enter
        QCOMPARE(f.Grid().Cell(2, 3), std::string("1.2345"));
        QCOMPARE(f.Grid().Cell(1, 2), std::string(""));
    }

    void anEditLeftWithoutEnterStillCountsAsUnsaved() {
        TForm2 &f = Make();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto *sg = f.findChild<QTableView *>("sg");
        sg->setFocus();
        sg->setCurrentIndex(At(sg, 3, 1));
        QTest::keyClick(sg, '1');
        QPointer<QLineEdit> editor = Editor(sg);
        QTest::keyClicks(editor, "23");
        QTest::keyClick(editor, Qt::Key_Down); // leaves the cell for the one below
        QTRY_VERIFY(Closed(editor));
        QCOMPARE(sg->currentIndex(), At(sg, 3, 2));
        QCOMPARE(f.Grid().Cell(3, 1), std::string("123"));
        QVERIFY(f.DataModified());
    }

    // "172" typed into the ADC cell of row 3 without Enter, then the graph is redrawn by
    // one trigger: it is drawn with the typed reading (the point (0.80 A, 90) is no longer
    // the curve's last one), and the text stays in the cell and in its open editor.
    void typedTextSurvivesEveryRedraw_data() {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("menu") << "menu";
        QTest::newRow("ctrl+u") << "ctrl+u";
        QTest::newRow("resize") << "resize";
    }
    void typedTextSurvivesEveryRedraw() {
        QFETCH(QString, trigger);
        TForm2 &f = Make();
        ShowWithImage(f, 261, 291);
        SetRows(f, {{"0.00", "3", ""}, {"0.80", "90", ""}, {"2.00", "", ""}});
        f.UpdateGraph1Click();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto *sg = f.findChild<QTableView *>("sg");
        sg->setFocus();
        sg->setCurrentIndex(At(sg, 3, 3));
        QTest::keyClick(sg, '1');
        QPointer<QLineEdit> editor = Editor(sg);
        QVERIFY(editor && editor->hasFocus());
        QTest::keyClicks(editor, "72");

        int width = 261;
        if (trigger == "menu") {
            QMenu *data = f.findChild<QMenu *>("Data1");
            QTest::mouseClick(f.menuBar(), Qt::LeftButton, {},
                              f.menuBar()->actionGeometry(data->menuAction()).center());
            QVERIFY(QTest::qWaitForWindowExposed(data));
            QTest::mouseClick(data, Qt::LeftButton, {},
                              data->actionGeometry(Action(f, "UpdateGraph1")).center());
            QTRY_VERIFY(!data->isVisible());
        } else if (trigger == "ctrl+u") {
            QTest::keyClick(editor, Qt::Key_U, Qt::ControlModifier);
        } else {
            width = 361;
            f.resize(f.width() + 100, f.height());
            QTRY_COMPARE(f.Bitmap().width(), width);
        }

        // (0.80 A, 90) of three points with the last at (2.00 A, 172) lands at
        // x = 20 + 0.4 (W - 40), y = 140.
        const int x = 20 + (4 * (width - 40) + 5) / 10;
        QVERIFY(IsCross(f.Bitmap(), x, 140));
        QVERIFY(IsCross(f.Bitmap(), width - 20, 20));
        QCOMPARE(f.Grid().Cell(3, 3), std::string("172"));
        QCOMPARE(f.Grid().Cell(1, 3), std::string("170.5"));
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->text(), QString("172"));
        QVERIFY(f.DataModified());

        // Typing goes on where it stopped; Escape gives the cell its text from before the
        // edit.
        QTRY_VERIFY(editor->hasFocus());
        QTest::keyClick(editor, '5');
        QCOMPARE(f.Grid().Cell(3, 3), std::string("1725"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(Closed(editor));
        QCOMPARE(f.Grid().Cell(3, 3), std::string(""));
    }

    // Columns 0 and 1 stay in place when the data columns scroll, and are never the current
    // cell, never painted selected and never typed into.
    void fixedColumnsStayPut() {
        TForm2 &f = Make();
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        SetRows(f, {{"0.00", "3", "1"}, {"0.50", "47", "44"}, {"1.00", "90", "86"}});
        f.UpdateGraph1Click();
        auto *sg = f.findChild<QTableView *>("sg");
        sg->setFocus();
        sg->setCurrentIndex(At(sg, 2, 2));
        // The fixed cells lie left of the data columns, above the scroll bar.
        const QRect fixedArea(0, 0, sg->viewport()->geometry().left(),
                              sg->viewport()->geometry().bottom() + 1);
        QCOMPARE(fixedArea.width(), sg->frameWidth() + 28 + 60);
        const QImage before = sg->grab(fixedArea).toImage();

        QTest::keyClick(sg, Qt::Key_Right);
        QTest::keyClick(sg, Qt::Key_Right);
        QCOMPARE(kv::calib::CalGridModel::GridColumn(sg->currentIndex()), 4);
        QVERIFY(sg->horizontalScrollBar()->value() > 0); // the data columns scrolled
        QCOMPARE(sg->grab(fixedArea).toImage(), before);
        const QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(f.grab().save(shots + "/calibration-column4.png"));

        for (int i = 0; i < 3; ++i)
            QTest::keyClick(sg, Qt::Key_Left);
        QCOMPARE(kv::calib::CalGridModel::GridColumn(sg->currentIndex()), 2);

        // A click on the nominal cell of row 3 leaves the current cell where it was, and
        // nothing there is painted selected, not even when all cells are.
        const QPoint nominal(sg->frameWidth() + 28 + 30, sg->frameWidth() + 24 + 2 * 24 + 12);
        QWidget *under = sg->childAt(nominal);
        QVERIFY(under);
        QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(sg, nominal));
        QCOMPARE(sg->currentIndex(), At(sg, 2, 2));
        QTest::keyClick(sg, 'a', Qt::ControlModifier);
        QTest::qWait(20);
        QCOMPARE(CountColor(sg->grab(fixedArea).toImage(), QColor(0, 0, 255)), 0);
        QCOMPARE(f.Grid().Cell(1, 3), std::string("85.3"));
    }

    void closeQueryAnswers() {
        TForm2 &f = Make();
        bool canClose = true;
        f.AskSaveModified(canClose);
        QVERIFY(canClose);
        QVERIFY(prompter_->prompts().empty());

        f.sgSetEditText(3, 1, "85", true);
        QVERIFY(f.DataModified());
        const std::pair<int, bool> answers[] = {
            {kv::IdYes, false}, {kv::IdCancel, false}, {kv::IdNo, true}};
        for (auto [answer, expected] : answers) {
            prompter_->AnswerMessage(answer);
            canClose = true;
            f.AskSaveModified(canClose);
            QCOMPARE(canClose, expected);
            QCOMPARE(prompter_->prompts().back().text, std::string("Data modified! Save?"));
            QCOMPARE(prompter_->prompts().back().buttons, kv::MsgButtons::YesNoCancel);
        }
        QVERIFY(f.DataModified()); // the query saves nothing
    }

    void failedSaveKeepsTheDataUnsavedAndTheOldFile() {
        TForm2 &f = Make();
        f.sgSetEditText(2, 1, "1.00", true);
        const std::string file = dir_->File("locked.sav");
        kvtest::TempDir::Write(file, "old\r\n");
        std::filesystem::permissions(file, std::filesystem::perms::owner_read);
        prompter_->AnswerFile(file);
        f.Save1Click();
        QVERIFY(f.DataModified());
        QCOMPARE(kvtest::TempDir::Read(file), std::string("old\r\n"));
        QCOMPARE(prompter_->prompts().back().icon, kv::MsgIcon::Error);
        QVERIFY(prompter_->messageTexts().back().find("locked.sav") != std::string::npos);

        bool canClose = true;
        prompter_->AnswerMessage(kv::IdNo);
        f.AskSaveModified(canClose);
        QCOMPARE(prompter_->prompts().back().text, std::string("Data modified! Save?"));
    }

    void clearAsksFirst() {
        TForm2 &f = Make();
        SetRows(f, {{"1.00", "85", ""}});
        f.sgSetEditText(4, 1, "86", true);
        prompter_->AnswerMessage(kv::IdNo);
        f.Clear1Click();
        QCOMPARE(f.Grid().Cell(3, 1), std::string("85"));
        prompter_->AnswerMessage(kv::IdYes);
        f.Clear1Click();
        QCOMPARE(prompter_->prompts().back().text, std::string("Are you sure?"));
        for (int c = 1; c <= 4; ++c)
            QCOMPARE(f.Grid().Cell(c, 1), std::string(""));
        QCOMPARE(f.Grid().Cell(0, 1), std::string(" 1"));
        QVERIFY(f.DataModified()); // from the edit before; Clear leaves the flag alone
    }

    void noDataRowsBelowOneGridLine() {
        TForm2 &f = Make(0);
        auto *sg = f.findChild<QTableView *>("sg");
        QCOMPARE(sg->model()->rowCount(), 0);
        const std::string file = dir_->File("none.sav");
        prompter_->AnswerFile(file);
        f.Save1Click();
        QCOMPARE(kvtest::TempDir::Read(file), std::string());
        kvtest::TempDir::Write(file, "1.00\r\n85\r\n");
        prompter_->AnswerFile(file);
        f.Load1Click();
        prompter_->AnswerInput("85");
        prompter_->AnswerInput("0");
        f.CalcCorrectionTable1Click();
        QCOMPARE(prompter_->messageTexts().back(), std::string("Nothing to do..."));
    }

    void badFileTextStopsTheRedrawWithItsMessage() {
        TForm2 &f = Make();
        ShowWithImage(f, 261, 291);
        const std::string file = dir_->File("bad.sav");
        kvtest::TempDir::Write(file, "0.00\r\n3\r\n\r\nabc\r\n90\r\n\r\n");
        prompter_->AnswerFile(file);
        try {
            f.Load1Click();
            QFAIL("no error");
        } catch (const kv::Error &e) {
            QCOMPARE(std::string(e.what()),
                     std::string("'abc' is not a valid floating point value"));
        }
        QVERIFY(!f.DataModified());
        QCOMPARE(CountColor(f.Bitmap(), kFuchsia), 0);        // the curve was not drawn
        QVERIFY(f.Bitmap().pixelColor(19, 100) == Qt::black); // the axes were

        // From the menu the failure reaches the general error report.
        Action(f, "UpdateGraph1")->trigger();
        const Prompt last = prompter_->prompts().back();
        QCOMPARE(last.caption, std::string("<Korvane>"));
        QCOMPARE(last.text, std::string("'abc' is not a valid floating point value."));
        QCOMPARE(last.icon, kv::MsgIcon::Error);
    }

    void graphOfTheWorkedExample() {
        TForm2 &f = Make();
        ShowWithImage(f, 261, 291);
        SetRows(f, {{"0.00", "3", ""}, {"0.80", "90", ""}, {"2.00", "172", ""}});
        f.UpdateGraph1Click();
        const QImage img = f.Bitmap();

        QVERIFY(IsCross(img, 20, 267));
        QVERIFY(IsCross(img, 108, 140));
        QVERIFY(IsCross(img, 241, 20));
        QVERIFY(Coverage(img, {20, 267}, {241, 20}, kFuchsia) > 0.4);  // dotted reference
        QVERIFY(Coverage(img, {108, 140}, {241, 20}, kFuchsia) > 0.9); // solid polyline
        QVERIFY(Coverage(img, {20, 267}, {108, 140}, kFuchsia) > 0.9);
        // The polyline starts at the origin, over the axis, left of the cross's stroke.
        QCOMPARE(img.pixelColor(19, 269), kFuchsia);
        QCOMPARE(img.pixelColor(19, 262), QColor(Qt::black));  // the axis only
        QCOMPARE(img.pixelColor(130, 271), QColor(Qt::black)); // horizontal axis
        QCOMPARE(img.pixelColor(200, 200), QColor(Qt::white));
        QVERIFY(CountColor(img.copy(0, 0, 80, 20), QColor(0, 0, 255)) > 20);    // "div|U"
        QVERIFY(CountColor(img.copy(248, 271, 13, 20), QColor(0, 0, 255)) > 5); // "I"
        QCOMPARE(CountColor(img, kTeal), 0);

        const QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            img.save(shots + "/calibration_graph_example.png");
    }

    void graphEdgeCases() {
        TForm2 &f = Make();
        ShowWithImage(f, 300, 250);
        // An empty grid: background, labels and axes only.
        f.UpdateGraph1Click();
        QCOMPARE(CountColor(f.Bitmap(), kFuchsia) + CountColor(f.Bitmap(), kTeal), 0);
        QCOMPARE(f.Bitmap().pixelColor(20, 100), QColor(Qt::black));
        QCOMPARE(f.Bitmap().pixelColor(150, 230), QColor(Qt::black));
        QCOMPARE(f.Bitmap().pixelColor(150, 100), QColor(Qt::white));

        // A single point: in the top right corner, both lines from the origin.
        SetRows(f, {{"1.00", "100", ""}});
        f.UpdateGraph1Click();
        QVERIFY(IsCross(f.Bitmap(), 280, 20));
        QVERIFY(Coverage(f.Bitmap(), {20, 230}, {280, 20}, kFuchsia) > 0.9);

        // All points at 0 A: every cross on the vertical axis.
        SetRows(f, {{"0.00", "50", ""}, {"0.00", "100", ""}});
        f.UpdateGraph1Click();
        QVERIFY(IsCross(f.Bitmap(), 20, 125));
        QVERIFY(IsCross(f.Bitmap(), 20, 20));

        // Column 4 only: only the teal curve.
        f.Grid().ClearData();
        SetRows(f, {{"0.00", "", "0"}, {"1.00", "", "85"}});
        f.UpdateGraph1Click();
        QCOMPARE(CountColor(f.Bitmap(), kFuchsia), 0);
        QVERIFY(Coverage(f.Bitmap(), {20, 230}, {280, 20}, kTeal) > 0.9);

        // A resize redraws at the new size.
        ShowWithImage(f, 400, 300);
        QVERIFY(IsCross(f.Bitmap(), 380, 20));
    }

    void calculationPromptsAndMessages() {
        TForm2 &f = Make();
        SetRows(f, {{"0.50", "40", ""}, {"1.00", "85", ""}});
        prompter_->AnswerInput(std::nullopt);
        f.CalcCorrectionTable1Click();
        QCOMPARE(prompter_->prompts().size(), std::size_t(1));
        const Prompt first = prompter_->prompts()[0];
        QCOMPARE(first.caption, std::string("I to ADC multiply"));
        QCOMPARE(first.text, std::string("Enter value"));
        QCOMPARE(first.initial, std::string("85"));

        prompter_->AnswerInput("85");
        prompter_->AnswerInput(std::nullopt);
        f.CalcCorrectionTable1Click();
        QCOMPARE(prompter_->prompts()[2].caption, std::string("Zero offset ADC"));
        QCOMPARE(prompter_->prompts()[2].text, std::string("Enter value (div)"));
        QCOMPARE(prompter_->prompts()[2].initial, std::string("0"));

        prompter_->AnswerInput("8.5");
        try {
            f.CalcCorrectionTable1Click();
            QFAIL("no error");
        } catch (const kv::Error &e) {
            QCOMPARE(std::string(e.what()), std::string("'8.5' is not a valid integer value"));
        }

        prompter_->AnswerInput("85");
        prompter_->AnswerInput("0");
        f.CalcCorrectionTable1Click();
        QCOMPARE(prompter_->messageTexts().back(), std::string("Missing ADC value for 0 A!"));
        QCOMPARE(prompter_->prompts().back().icon, kv::MsgIcon::Error);
    }

    void calculationWritesLoadsAndGivesTheDialogBack() {
        TForm2 &f = Make();
        TForm4 editor(*ctx_);
        f.UseEditor(&editor);
        const std::string savFile = dir_->File("cal.sav");
        prompter_->AnswerFile(savFile, 1);
        f.Save1Click();

        SetRows(f, {{"0.00", "0", ""}, {"1.00", "200", ""}});
        const std::string epr = dir_->File("corrtbl.epr");
        prompter_->AnswerInput("85");
        prompter_->AnswerInput("0");
        prompter_->AnswerFile(epr, 2);
        int editorResult = 0;
        QTimer::singleShot(0, &editor, [&] {
            editorResult = editor.isVisible() ? 2 : -1;
            editor.done(2);
        });
        f.CalcCorrectionTable1Click();
        QCOMPARE(editorResult, 2); // the editor was shown modally, and closed without Write

        const auto messages = prompter_->messageTexts();
        QCOMPARE(messages.back(), std::string("Correction exceeded max value 127! (108x)"));
        const Prompt dlg = prompter_->prompts().back();
        QCOMPARE(dlg.dialog.fileName, std::string("corrtbl.epr"));
        QCOMPARE(dlg.dialog.filterIndex, 2);
        QCOMPARE(dlg.dialog.title, std::string("Save"));

        const std::string text = kvtest::TempDir::Read(epr);
        QVERIFY(text.starts_with("0 -11 "));
        QVERIFY(text.find('\n') == std::string::npos);
        kv::corrtable::CorrTableData fromFile{};
        QVERIFY(!kv::corrtable::ParseTableText(text, fromFile));
        QVERIFY(fromFile == ctx_->CorrTable);
        QCOMPARE(int(ctx_->CorrTable[1]), -11);
        QCOMPARE(int(ctx_->CorrTable[12]), -127);
        QCOMPARE(editor.Edit[1]->text(), QString("-11"));

        // Save again proposes the calibration file and its filter, after a confirmed and
        // after a cancelled table dialog.
        for (bool confirm : {true, false}) {
            prompter_->AnswerInput("85");
            prompter_->AnswerInput("0");
            if (confirm) {
                prompter_->AnswerFile(epr, 2);
                QTimer::singleShot(0, &editor, [&] { editor.done(2); });
            } else {
                prompter_->AnswerFile(std::nullopt);
            }
            f.CalcCorrectionTable1Click();
            prompter_->AnswerFile(std::nullopt);
            f.Save1Click();
            QCOMPARE(prompter_->prompts().back().dialog.fileName, savFile);
            QCOMPARE(prompter_->prompts().back().dialog.filterIndex, 1);
        }
        QCOMPARE(f.SavFileName(), savFile);
    }

    void unwritableTableFileIsReportedAndNotLoaded() {
        TForm2 &f = Make();
        TForm4 editor(*ctx_);
        f.UseEditor(&editor);
        ctx_->CorrTable.fill(5);
        SetRows(f, {{"0.00", "3", ""}, {"1.00", "90", ""}});
        const std::string epr = dir_->File("corrtbl.epr");
        kvtest::TempDir::Write(epr, "1 2 3");
        std::filesystem::permissions(epr, std::filesystem::perms::owner_read);
        prompter_->AnswerInput("85");
        prompter_->AnswerInput("0");
        prompter_->AnswerFile(epr, 2);
        f.CalcCorrectionTable1Click(); // no editor shown: a modal one would hang here
        QVERIFY(prompter_->messageTexts().back().find("corrtbl.epr") != std::string::npos);
        QCOMPARE(int(ctx_->CorrTable[0]), 5);
        QCOMPARE(kvtest::TempDir::Read(epr), std::string("1 2 3"));
    }

    void screenshotWithCalibration() {
        TForm2 &f = Make();
        const std::string file = dir_->File("shot.sav");
        std::string text;
        const char *rows[][3] = {{"0.00", "3", "1"},     {"0.50", "47", "44"},
                                 {"1.00", "90", "86"},   {"2.00", "172", "171"},
                                 {"3.00", "258", "254"}, {"5.00", "421", "427"},
                                 {"8.00", "684", "690"}};
        for (auto &r : rows)
            text += std::string(r[0]) + "\r\n" + r[1] + "\r\n" + r[2] + "\r\n";
        kvtest::TempDir::Write(file, text);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        prompter_->AnswerFile(file);
        f.Load1Click();
        auto *sg = f.findChild<QTableView *>("sg");
        sg->setFocus();
        sg->setCurrentIndex(At(sg, 3, 3));
        QTest::qWait(50);
        QVERIFY(CountColor(f.Bitmap(), kTeal) > 100);
        const QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            QVERIFY(f.grab().save(shots + "/calibration.png"));
    }
};

KORVANE_QTEST_MAIN(CalibWindowTest)
#include "calib_window_test.moc"
