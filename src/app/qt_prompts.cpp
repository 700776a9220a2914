#include "app/qt_prompts.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "display/qt_text.h"

namespace kr40 {

namespace {

// "Description (*.ext)|*.ext|..." pairs as a Qt filter list: Qt takes the
// patterns from the description's parentheses, so the pattern halves go.
QString QtFilter(const std::string& filter)
{
    const QStringList parts = ToQString(filter).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& desc = parts[i];
        const QString& pattern = parts[i + 1];
        out << (desc.contains('(') ? desc : desc + " (" + QString(pattern).replace(';', ' ') + ")");
    }
    return out.join(";;");
}

QString StartPath(const FileDialogRequest& r)
{
    QString path = ToQString(r.folder);
    if (!r.proposedName.empty() && r.proposedName.find('*') == std::string::npos) {
        if (!path.isEmpty() && !path.endsWith('/')) path += '/';
        path += ToQString(r.proposedName);
    }
    return path;
}

std::optional<std::string> Chosen(const QString& path)
{
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

}  // namespace

PromptAnswer QtPrompts::Message(const std::string& caption, const std::string& text, PromptIcon icon,
                                PromptButtons buttons)
{
    QMessageBox box(parent_);
    box.setWindowTitle(ToQString(caption));
    box.setText(ToQString(text).replace("\r\n", "\n"));
    switch (icon) {
        case PromptIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case PromptIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case PromptIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case PromptIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case PromptIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    if (buttons == PromptButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? PromptAnswer::Yes : PromptAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return PromptAnswer::Ok;
}

std::optional<std::string> QtPrompts::OpenFile(const FileDialogRequest& r)
{
    return Chosen(QFileDialog::getOpenFileName(parent_, ToQString(r.title), StartPath(r), QtFilter(r.filter)));
}

std::optional<std::string> QtPrompts::SaveFile(const FileDialogRequest& r)
{
    QFileDialog dialog(parent_, ToQString(r.title), StartPath(r), QtFilter(r.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(ToQString(r.defaultExt));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return Chosen(dialog.selectedFiles().front());
}

bool QtPrompts::OpenDocument(const std::string& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(ToQString(path)));
}

std::optional<std::uint32_t> QtPrompts::ChooseColor(std::uint32_t initial)
{
    const QColor c = QColorDialog::getColor(ToQColor(initial), parent_);
    if (!c.isValid()) return std::nullopt;
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

}  // namespace kr40
