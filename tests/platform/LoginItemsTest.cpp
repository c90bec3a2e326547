#include "platform/services/LoginItems.h"

#include "platform/foundation/FileManager.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using platform::LoginItem;
using platform::LoginItems;
namespace paths = platform::paths;

class LoginItemsTest : public ::testing::Test {
protected:
    // An application bundle with its executable, under the temporary home.
    std::string makeBundle(const std::string& relative, const std::string& executable = "Tarnwick") {
        const std::string bundle = paths::appendComponent(env.home(), relative);
        const std::string macos = paths::appendComponent(bundle, "Contents/MacOS");
        EXPECT_TRUE(platform::FileManager::createDirectory(macos));
        std::ofstream(paths::appendComponent(macos, executable)) << "#!/bin/sh\n";
        return bundle;
    }
    void writeEntry(const std::string& name, const std::string& text) {
        platform::FileManager::createDirectory(LoginItems::autostartFolder());
        std::ofstream(paths::appendComponent(LoginItems::autostartFolder(), name)) << text;
    }
    static std::string contents(const LoginItem& item) {
        std::ifstream in(item.entryPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    platform::headless::HeadlessEnvironment env;
};

TEST_F(LoginItemsTest, MissingFolderIsAnEmptyListAndInsertionCreatesIt) {
    auto list = LoginItems::sessionLoginItems();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->snapshot().empty());
    const std::string bundle = makeBundle("Apps/Tarnwick.app");
    const auto item = list->insertLast(bundle);
    ASSERT_TRUE(item);
    EXPECT_EQ(LoginItems::resolve(*item), bundle);
    const std::string text = contents(*item);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
    EXPECT_NE(text.find("Name=Tarnwick\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"" + bundle + "/Contents/MacOS/Tarnwick\"\n"), std::string::npos);
    EXPECT_NE(text.find("X-GNOME-Autostart-enabled=true\n"), std::string::npos);
}

TEST_F(LoginItemsTest, InsertionsKeepTheirOrder) {
    auto list = LoginItems::sessionLoginItems();
    ASSERT_TRUE(list);
    std::vector<std::string> bundles;
    for (int i = 0; i < 12; ++i) bundles.push_back(makeBundle("Apps/" + std::to_string(i) + "/Tarnwick.app"));
    for (const auto& bundle : bundles) ASSERT_TRUE(list->insertLast(bundle));
    const auto items = list->snapshot();
    ASSERT_EQ(items.size(), bundles.size());
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(LoginItems::resolve(items[i]), bundles[i]);

    // A removal in the middle does not make a later insertion jump ahead.
    ASSERT_TRUE(list->remove(items[5]));
    const std::string last = makeBundle("Apps/last/Tarnwick.app");
    ASSERT_TRUE(list->insertLast(last));
    EXPECT_EQ(LoginItems::resolve(list->snapshot().back()), last);
}

TEST_F(LoginItemsTest, PathsWithSpacesQuotesDollarsAndPercentSignsSurviveTheExecLine) {
    auto list = LoginItems::sessionLoginItems();
    ASSERT_TRUE(list);
    const std::string bundle = makeBundle("My Apps/\"odd\" $HOME `x` 100% back\\slash/Tarnwick.app");
    const auto item = list->insertLast(bundle);
    ASSERT_TRUE(item);
    EXPECT_EQ(LoginItems::resolve(*item), bundle);
}

TEST_F(LoginItemsTest, ExecutableNameComesFromTheBundlesInfoPlist) {
    const std::string bundle = makeBundle("Apps/Locker.app", "locker-bin");
    std::ofstream(bundle + "/Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleExecutable</key><string>locker-bin</string></dict></plist>\n";
    auto list = LoginItems::sessionLoginItems();
    ASSERT_TRUE(list);
    const auto item = list->insertLast(bundle);
    ASSERT_TRUE(item);
    EXPECT_NE(contents(*item).find("/Contents/MacOS/locker-bin\""), std::string::npos);
    EXPECT_EQ(LoginItems::resolve(*item), bundle);
}

TEST_F(LoginItemsTest, ForeignEntriesResolveToTheirProgramOrNotAtAll) {
    writeEntry("shell.desktop", "[Desktop Entry]\nType=Application\nExec=/bin/sh -c 'echo hi'\n");
    writeEntry("gone.desktop", "[Desktop Entry]\nExec=/no/such/program --flag\n");
    writeEntry("hidden.desktop", "[Desktop Entry]\nExec=/bin/sh\nHidden=true\n");
    writeEntry("relative.desktop", "[Desktop Entry]\nExec=sh\n");
    writeEntry("noexec.desktop", "[Desktop Entry]\nName=Nothing\n");
    writeEntry("othergroup.desktop", "[Desktop Action x]\nExec=/bin/sh\n");
    writeEntry("notes.txt", "[Desktop Entry]\nExec=/bin/sh\n");
    auto list = LoginItems::sessionLoginItems();
    ASSERT_TRUE(list);
    const auto items = list->snapshot();
    ASSERT_EQ(items.size(), 6u);  // the .txt file is no entry
    std::map<std::string, std::optional<std::string>> resolved;
    for (const auto& item : items) resolved[paths::lastComponent(item.entryPath)] = LoginItems::resolve(item);
    EXPECT_EQ(resolved["shell.desktop"], "/bin/sh");
    EXPECT_EQ(resolved["gone.desktop"], std::nullopt);
    EXPECT_EQ(resolved["hidden.desktop"], std::nullopt);
    EXPECT_EQ(resolved["relative.desktop"], std::nullopt);
    EXPECT_EQ(resolved["noexec.desktop"], std::nullopt);
    EXPECT_EQ(resolved["othergroup.desktop"], std::nullopt);
}

TEST_F(LoginItemsTest, FileWhereTheFolderShouldBeMakesTheListUnavailable) {
    platform::FileManager::createDirectory(paths::configDirectory());
    std::ofstream(LoginItems::autostartFolder()) << "not a folder";
    EXPECT_FALSE(LoginItems::sessionLoginItems().has_value());
}

}  // namespace
