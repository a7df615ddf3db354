#include "gui/qt_prompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

#include "gui/window_placement.h"

namespace {

QString Q(const std::string &s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string S(const QString &s) {
    return s.toUtf8().toStdString();
}

// A carriage return alone, or CR LF, starts a new line in the box.
QString BoxText(const std::string &text) {
    QString t = Q(text);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// A dialog over the window it belongs to (its parent), wide enough for its caption. The
// position is set once the dialog has its size, and kept as set: left to itself a window
// manager may put a dialog in the middle of the screen.
template <class Dialog> class Placed : public Dialog {
public:
    template <class... Args>
    explicit Placed(Args &&...args) : Dialog(std::forward<Args>(args)...) {}

protected:
    void showEvent(QShowEvent *event) override {
        Dialog::showEvent(event);
        kv::PlaceDialog(this);
    }
};

} // namespace

std::vector<QtPrompter::FilterEntry> QtPrompter::ParseFilter(const std::string &filter) {
    // "description|pattern|description|pattern"; a pattern may hold several masks
    // separated by ";" ("*.txt;*.log").
    std::vector<FilterEntry> out;
    QStringList parts = Q(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FilterEntry e;
        e.description = S(parts[i]);
        e.patterns = S(parts[i + 1]);
        out.push_back(std::move(e));
    }
    return out;
}

QString QtPrompter::QtFilterText(const FilterEntry &e) {
    QString masks = Q(e.patterns);
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt takes the masks from the parentheses at the end.
    return Q(e.description) + QLatin1String(" (") + masks + QLatin1Char(')');
}

int QtPrompter::Message(const std::string &caption, const std::string &text, kv::MsgIcon icon,
                        kv::MsgButtons buttons) {
    Placed<QMessageBox> box(kv::DialogOwner());
    box.setWindowTitle(Q(caption));
    box.setText(BoxText(text));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case kv::MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case kv::MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case kv::MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    std::vector<std::pair<QAbstractButton *, int>> ids;
    auto add = [&](QMessageBox::StandardButton b, int id) {
        ids.emplace_back(box.addButton(b), id);
    };
    switch (buttons) {
    case kv::MsgButtons::Ok:
        add(QMessageBox::Ok, kv::IdOk);
        break;
    case kv::MsgButtons::YesNo:
        add(QMessageBox::Yes, kv::IdYes);
        add(QMessageBox::No, kv::IdNo);
        break;
    case kv::MsgButtons::YesNoCancel:
        add(QMessageBox::Yes, kv::IdYes);
        add(QMessageBox::No, kv::IdNo);
        add(QMessageBox::Cancel, kv::IdCancel);
        break;
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(ids.front().first));
    // A message box sizes itself from its layout each time it is shown or changed: a row of
    // the caption's width keeps it wide enough for the caption.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        const QMargins m = grid->contentsMargins();
        grid->addItem(new QSpacerItem(kv::CaptionWidth(box.windowTitle()) - m.left() - m.right(), 0,
                                      QSizePolicy::Fixed, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();

    QAbstractButton *clicked = box.clickedButton();
    for (const auto &[button, id] : ids)
        if (button == clicked)
            return id;
    // Closed without a button (Escape or the close box): OK for a single-button box,
    // otherwise No, or Cancel where the box has one.
    switch (buttons) {
    case kv::MsgButtons::Ok:
        return kv::IdOk;
    case kv::MsgButtons::YesNo:
        return kv::IdNo;
    case kv::MsgButtons::YesNoCancel:
        return kv::IdCancel;
    }
    return kv::IdCancel;
}

bool QtPrompter::RunFileDialog(kv::FileDialog &dlg) {
    Placed<QFileDialog> fd(kv::DialogOwner(), Q(dlg.title));
    const bool save = dlg.kind == kv::FileDialog::Kind::Save;
    fd.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    fd.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    fd.setWindowModality(Qt::ApplicationModal);

    const auto entries = ParseFilter(dlg.filter);
    QStringList filters;
    for (const auto &e : entries)
        filters << QtFilterText(e);
    if (!filters.isEmpty()) {
        fd.setNameFilters(filters);
        const int index =
            dlg.filterIndex >= 1 && dlg.filterIndex <= int(filters.size()) ? dlg.filterIndex : 1;
        fd.selectNameFilter(filters[index - 1]);
    }
    std::string ext = dlg.defaultExt;
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    if (!ext.empty())
        fd.setDefaultSuffix(Q(ext));
    if (!dlg.overwritePrompt)
        fd.setOption(QFileDialog::DontConfirmOverwrite, true);

    QString dir = Q(dlg.initialDir);
    if (!dlg.fileName.empty()) {
        QFileInfo fi(Q(dlg.fileName));
        if (fi.isAbsolute() && dir.isEmpty())
            dir = fi.absolutePath();
        if (!dir.isEmpty())
            fd.setDirectory(dir);
        fd.selectFile(fi.isAbsolute() ? fi.absoluteFilePath() : Q(dlg.fileName));
    } else if (!dir.isEmpty()) {
        fd.setDirectory(dir);
    }

    if (fd.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = fd.selectedFiles();
    if (chosen.isEmpty())
        return false;
    const QString path = QDir::toNativeSeparators(chosen.front());
    if (dlg.mustExist) {
        QFileInfo fi(chosen.front());
        if (save ? !fi.absoluteDir().exists() : !fi.exists())
            return false;
    }
    dlg.fileName = S(path);
    const qsizetype sel = filters.indexOf(fd.selectedNameFilter());
    if (sel >= 0)
        dlg.filterIndex = int(sel) + 1;
    dlg.initialDir = S(QDir::toNativeSeparators(QFileInfo(chosen.front()).absolutePath()));
    return true;
}

std::optional<std::string> QtPrompter::InputQuery(const std::string &caption,
                                                  const std::string &prompt,
                                                  const std::string &initial) {
    Placed<QInputDialog> dlg(kv::DialogOwner());
    dlg.setWindowTitle(Q(caption));
    dlg.setLabelText(Q(prompt));
    dlg.setTextValue(Q(initial));
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowModality(Qt::ApplicationModal);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return S(dlg.textValue());
}

void QtPrompter::Beep() {
    QApplication::beep();
}
