#include <QApplication>
#include <QFileDialog>

#include "platform/desktop/QtOpenPanelPresenter.h"

namespace platform::desktop {

namespace {

QFileDialog::FileMode fileModeFor(const OpenPanel& panel) {
    if (panel.canChooseDirectories && !panel.canChooseFiles) return QFileDialog::Directory;
    return panel.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile;
}

}  // namespace

std::optional<std::vector<std::string>> QtOpenPanelPresenter::present(const OpenPanel& panel,
                                                                      const std::string& file) {
    // The dialog has no room for a message of its own: a panel without a title says it there.
    const std::string& caption = panel.title.empty() ? panel.message : panel.title;
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(caption),
                       QString::fromStdString(panel.directory()));
    dialog.setFileMode(fileModeFor(panel));
    dialog.setOption(QFileDialog::ShowDirsOnly, !panel.canChooseFiles);
    dialog.setOption(QFileDialog::ReadOnly, !panel.canCreateDirectories);
    if (!file.empty()) dialog.selectFile(QString::fromStdString(file));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> chosen;
    for (const QString& path : dialog.selectedFiles()) chosen.push_back(path.toStdString());
    return chosen;
}

}  // namespace platform::desktop
