#pragma once

#include "platform/services/Service.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// A modal chooser of files or folders. `runModalForDirectory` asks the
// presenter: a real dialog on the desktop, a scripted answer headless.
class OpenPanel {
public:
    static constexpr int OKButton = 1;
    static constexpr int CancelButton = 0;

    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    bool canCreateDirectories = false;
    std::string title;
    // What the user is asked to choose, shown with the panel.
    std::string message;
    // File name extensions ("app", "desktop") that may be chosen; empty: any.
    // A folder with such an extension is chosen as a whole, like a file.
    std::vector<std::string> allowedFileTypes;

    // Shows the panel starting in `directory` with `file` chosen; OKButton
    // when the user confirmed a choice, CancelButton otherwise (also when
    // nothing chosen is of an allowed type).
    int runModalForDirectory(const std::string& directory, const std::string& file = {});
    // The folder the panel started in.
    const std::string& directory() const { return directory_; }
    // What the user chose, full paths.
    std::string filename() const { return filenames_.empty() ? std::string() : filenames_.front(); }

    bool allowsFile(const std::string& path) const;

private:
    std::string directory_;
    std::vector<std::string> filenames_;
};

class OpenPanelPresenter : public Service<OpenPanelPresenter> {
public:
    virtual ~OpenPanelPresenter() = default;
    // The chosen paths, or none when the user cancelled.
    virtual std::optional<std::vector<std::string>> present(const OpenPanel& panel, const std::string& file) = 0;
};

}  // namespace platform
