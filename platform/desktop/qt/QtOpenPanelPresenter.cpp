#include <QApplication>
#include <QFileDialog>

#include "platform/desktop/qt/QtOpenPanelPresenter.h"

namespace platform::desktop {

namespace {

QFileDialog::FileMode fileModeFor(const OpenPanel& panel) {
    if (panel.canChooseDirectories && !panel.canChooseFiles) return QFileDialog::Directory;
    return panel.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile;
}

}  // namespace

std::optional<std::vector<std::string>> QtOpenPanelPresenter::present(const OpenPanel& panel, const std::string& file) {
    // The dialog has no room for a message of its own: a panel without a title says it there.
    const std::string& caption = panel.title.empty() ? panel.message : panel.title;
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(caption),
                       QString::fromStdString(panel.directory()));
    // A sheet of the window that asked: that window waits, the others go on.
    if (dialog.parentWidget()) dialog.setWindowModality(Qt::WindowModal);
    dialog.setFileMode(fileModeFor(panel));
    dialog.setOption(QFileDialog::ShowDirsOnly, !panel.canChooseFiles);
    dialog.setOption(QFileDialog::ReadOnly, !panel.canCreateDirectories);
    if (!file.empty()) dialog.selectFile(QString::fromStdString(file));
    std::vector<std::string> chosen;
    if (!panel.allowedFileTypes.empty()) {
        QStringList patterns;
        for (const std::string& type : panel.allowedFileTypes) patterns << "*." + QString::fromStdString(type);
        dialog.setNameFilter(patterns.join(' '));
        // Opening a folder of an allowed type (an application bundle) chooses it.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, [&](const QString& folder) {
            if (!panel.allowsFile(folder.toStdString())) return;
            chosen = {folder.toStdString()};
            static_cast<QDialog&>(dialog).done(QDialog::Accepted);
        });
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    if (!chosen.empty()) return chosen;
    for (const QString& path : dialog.selectedFiles()) chosen.push_back(path.toStdString());
    return chosen;
}

}  // namespace platform::desktop
