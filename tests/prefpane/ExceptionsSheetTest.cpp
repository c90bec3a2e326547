#include "PaneTestFixture.h"

#include "platform/services/Workspace.h"
#include "prefpane/ExceptionsPanelController.h"

namespace panetest {
namespace {

class ExceptionsSheetTest : public PaneTest {
protected:
    // An application bundle whose Info.plist holds `info`.
    std::string makeBundle(const std::string& name, const platform::Dictionary& info) {
        const std::string bundle = env.home() + "/Applications/" + name + ".app";
        platform::FileManager::createDirectory(bundle + "/Contents", true);
        platform::FileManager::writeAtomically(bundle + "/Contents/Info.plist", platform::plist::serialize(info));
        return bundle;
    }
    std::string makeDesktopEntry(const std::string& name, const std::string& text) {
        const std::string folder = env.home() + "/.local/share/applications";
        platform::FileManager::createDirectory(folder, true);
        const std::string path = folder + "/" + name + ".desktop";
        platform::FileManager::writeAtomically(path, platform::Data(text.begin(), text.end()));
        return path;
    }

    platform::TableView& table() const {
        return *std::dynamic_pointer_cast<platform::TableView>(sheetView("tableView"));
    }
    platform::ViewRef sheetView(const std::string& identifier) const {
        auto view = exceptionsWindow()->contentView()->viewWithIdentifier(identifier);
        EXPECT_NE(view, nullptr) << "no " << identifier;
        return view;
    }
    // The sheet the pane's button opened.
    platform::Window* exceptionsWindow() const { return hostWindow->attachedSheet(); }
    void click(const std::string& identifier) {
        std::dynamic_pointer_cast<platform::Button>(sheetView(identifier))->performClick();
    }
    void add(const std::string& path) {
        openPanels.chooseNext(path);
        click("addButton");
    }
    std::vector<platform::Value> names() const {
        std::vector<platform::Value> shown;
        for (int row = 0; row < table().numberOfRows(); ++row) shown.push_back(table().objectValue("name", row));
        return shown;
    }
    // The stored list is the table's rows, in order.
    void expectStoredAsShown(const std::vector<std::string>& paths) {
        platform::Array expected(paths.begin(), paths.end());
        EXPECT_EQ(stored(kPrefExceptions), platform::Value(expected));
        EXPECT_EQ(table().numberOfRows(), static_cast<int>(paths.size()));
    }
};

TEST_F(ExceptionsSheetTest, AddAndRemoveStoreTheWholeListAndOnlyClosingAnnouncesIt) {
    openPane();
    button("openExceptionsPanel").performClick();
    ASSERT_NE(exceptionsWindow(), nullptr);
    EXPECT_EQ(table().numberOfRows(), 0) << "a fresh user has no exceptions";
    const std::size_t changesBefore = changeCount();

    const std::string player = makeBundle("Player", {{"CFBundleExecutable", "player"}});
    const std::string editor =
        makeBundle("Editor", {{"CFBundleDisplayName", "Text Editor"}, {"CFBundleExecutable", "editor"}});
    const std::string browser = makeDesktopEntry("browser", "[Desktop Entry]\nExec=/usr/bin/browser %U\nIcon=web\n");
    add(player);
    expectStoredAsShown({player});
    add(player);
    add(editor);
    add(browser);
    expectStoredAsShown({player, player, editor, browser});
    EXPECT_EQ(names(), (std::vector<platform::Value>{"player", "player", "Text Editor", "browser"}));
    const auto icon = table().objectValue("icon", 3).objectAs<platform::Image>();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->name(), "web");

    const auto shown = openPanels.shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().panel.title, "Select an application");
    EXPECT_FALSE(shown.back().panel.canChooseDirectories);
    EXPECT_FALSE(shown.back().panel.allowsMultipleSelection);
    EXPECT_EQ(shown.back().panel.allowedFileTypes, (std::vector<std::string>{"app", "desktop"}));

    openPanels.cancelNext();
    click("addButton");
    click("removeButton");
    expectStoredAsShown({player, player, editor, browser});

    table().userSelectedRow(1);
    click("removeButton");
    expectStoredAsShown({player, editor, browser});
    EXPECT_EQ(changeCount(), changesBefore) << "nothing is announced while the sheet is open";

    click("doneButton");
    EXPECT_EQ(changeCount(), changesBefore + 1);
    EXPECT_EQ(announcements().back().at(kPrefExceptions), stored(kPrefExceptions));
    EXPECT_EQ(hostWindow->attachedSheet(), nullptr);
}

TEST_F(ExceptionsSheetTest, AnApplicationThatIsGoneStaysListedWithoutAName) {
    const std::string gone = env.home() + "/Applications/Gone.app";
    const std::string noExec = makeDesktopEntry("broken", "[Desktop Entry]\nName=Broken\n");
    set(kPrefExceptions, platform::Array{gone, noExec});
    openPane();
    button("openExceptionsPanel").performClick();
    EXPECT_EQ(names(), (std::vector<platform::Value>{platform::Value(), platform::Value()}));
    const auto icon = table().objectValue("icon", 0).objectAs<platform::Image>();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->name(), platform::Workspace::kGenericApplicationIcon);
}

}  // namespace
}  // namespace panetest
