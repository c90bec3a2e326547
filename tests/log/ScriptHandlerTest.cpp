#include "LogTestSupport.h"

#include "app/ScriptHandler.h"
#include "platform/foundation/Defaults.h"
#include "shared/QMASL.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace logtest;
using platform::Date;
using platform::Defaults;

namespace {

int openDescriptorCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(dir);
    }
    return count - 1;  // the directory stream itself
}

// States ('R', 'S', 'Z' …) of this process's children.
std::vector<char> childStates() {
    std::vector<char> states;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return states;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid …; the command may hold blanks and parentheses.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos || close + 4 > line.size()) continue;
        const char state = line[close + 2];
        std::istringstream rest(line.substr(close + 4));
        std::string ppid;
        rest >> ppid;
        if (ppid == self) states.push_back(state);
    }
    ::closedir(proc);
    return states;
}

class ScriptHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        qmasl::resetLevelForTesting(7);
        dir = env.home() + "/scripts";
        platform::FileManager::createDirectory(dir);
        photos = env.home() + "/photos";
        platform::FileManager::createDirectory(photos);
        auto& defaults = Defaults::standard();
        for (const char* stem :
             {"screenLocked", "screenUnlocked", "wrongPassword", "threeWrongPassword", "passwordTimeout"}) {
            defaults.setObject(false, std::string(stem) + ".script");
            defaults.setObject(false, std::string(stem) + ".script.photo");
            defaults.setObject(false, std::string(stem) + ".log");
        }
        defaults.setObject("0x1a11000005ac8509", kPrefVideoCaptureDevice);
        defaults.setObject(photos, kPrefSaveImagesPath);
        defaults.setObject(false, kPrefSaveImagesImmediately);
        handler = std::make_unique<ScriptHandler>(&delegate);
    }
    void TearDown() override {
        EXPECT_TRUE(waitUntil([&] { return handler->runsUnderWay() == 0; }));
        handler.reset();
        // Scripts still running would write into the home about to go.
        waitUntil([] { return childStates().empty(); });
        qmasl::resetLevelForTesting(-1);
    }

    // An executable that writes its argument count and arguments, one a line,
    // to `<dir>/<name>.out` (all at once, so a reader never sees half).
    std::string recorder(const std::string& name) {
        const std::string path = dir + "/" + name;
        const std::string out = path + ".out";
        std::ofstream script(path);
        script << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" << out << ".part'\nmv '" << out << ".part' '" << out
               << "'\n";
        script.close();
        ::chmod(path.c_str(), 0755);
        return path;
    }
    std::string output(const std::string& name) {
        const std::string path = dir + "/" + name + ".out";
        waitUntil([&] { return platform::FileManager::fileExists(path); });
        return readText(path);
    }
    bool ran(const std::string& name) { return platform::FileManager::fileExists(dir + "/" + name + ".out"); }

    void configure(const char* stem, const std::string& details, bool photo) {
        Defaults::standard().setObject(true, std::string(stem) + ".script");
        Defaults::standard().setObject(photo, std::string(stem) + ".script.photo");
        Defaults::standard().setObject(details, std::string(stem) + ".script.details");
    }
    std::string commandLogged(const std::string& event) {
        const std::string prefix = "Executing for event " + event + ": /bin/sh ";
        waitUntil([&] { return env.logged(prefix); });
        const auto lines = env.logLinesContaining(prefix);
        if (lines.empty()) return {};
        return lines.back().substr(lines.back().find(prefix) + prefix.size());
    }

    platform::headless::HeadlessEnvironment env;
    FakeDelegate delegate;
    std::unique_ptr<ScriptHandler> handler;
    std::string dir;
    std::string photos;
    const Date t1 = Date::fromLocalComponents(2012, 1, 31, 23, 59, 59, 123);
    const Date t2 = Date::fromLocalComponents(2012, 2, 1, 8, 0, 0, 1);
    const Date t3 = Date::fromLocalComponents(2012, 2, 1, 8, 0, 0, 2);
};

TEST_F(ScriptHandlerTest, WaitingRunGetsTheTimestampAndThePhotoPath) {
    const std::string script = recorder("alarm");
    configure("wrongPassword", script + "|||#TIMESTAMP# #IMAGE#", true);
    postEvent(kWrongPasswordEvent, t1, "pw");
    EXPECT_EQ(handler->pendingScriptCount(), 1u);
    EXPECT_TRUE(env.logged("Delaying script execution until photo is ready"));
    EXPECT_FALSE(ran("alarm"));

    postPhoto(kWrongPasswordEvent, t1, makePhoto(t1));
    const std::string photo = photos + "/20120131235959123.tiff";
    EXPECT_EQ(output("alarm"), "2\n20120131235959123\n" + photo + "\n");
    EXPECT_EQ(commandLogged(kWrongPasswordEvent), "-c '" + script + "' 20120131235959123 " + photo);
    EXPECT_EQ(handler->pendingScriptCount(), 0u);
    const std::string tiff = readText(photo);
    ASSERT_GE(tiff.size(), 4u);
    EXPECT_TRUE(tiff.compare(0, 4, std::string("II*\0", 4)) == 0 || tiff.compare(0, 4, std::string("MM\0*", 4)) == 0);
}

TEST_F(ScriptHandlerTest, AppleScriptsGoThroughOsascript) {
    for (const char* name : {"/notify.scpt", "/notify.applescript"}) {
        env.clearLog();
        configure("screenLocked", dir + name + "|||hello", false);
        postEvent(kScreenLockedEvent, t1);
        EXPECT_EQ(commandLogged(kScreenLockedEvent), "-c /usr/bin/osascript '" + dir + name + "' hello");
    }
}

TEST_F(ScriptHandlerTest, EmptyOrMissingArgumentsRunThePathAlone) {
    const std::string script = recorder("bare");
    configure("screenUnlocked", script + "|||", false);
    postEvent(kScreenUnlockedEvent, t1);
    EXPECT_EQ(output("bare"), "0\n");
    EXPECT_EQ(commandLogged(kScreenUnlockedEvent), "-c '" + script + "' ");

    const std::string plain = recorder("plain");
    configure("passwordTimeout", plain, false);
    postEvent(kPasswordTimeoutEvent, t1);
    EXPECT_EQ(output("plain"), "0\n");
}

TEST_F(ScriptHandlerTest, OnlyTheFirstSeparatorSplits) {
    const std::string script = recorder("pipes");
    configure("screenLocked", script + "|||'a|||b'", false);
    postEvent(kScreenLockedEvent, t1);
    EXPECT_EQ(output("pipes"), "1\na|||b\n");
}

TEST_F(ScriptHandlerTest, EveryTimestampPlaceholderIsReplaced) {
    const std::string script = recorder("twice");
    configure("screenLocked", script + "|||#TIMESTAMP#-#TIMESTAMP# #TIMESTAMP#", false);
    postEvent(kScreenLockedEvent, t1);
    EXPECT_EQ(output("twice"), "2\n20120131235959123-20120131235959123\n20120131235959123\n");
}

TEST_F(ScriptHandlerTest, PhotoFolderHoldingThePlaceholderIsNotRescanned) {
    const std::string odd = env.home() + "/#IMAGE#";
    platform::FileManager::createDirectory(odd);
    Defaults::standard().setObject(odd, kPrefSaveImagesPath);
    const std::string script = recorder("odd");
    configure("screenLocked", script + "|||#IMAGE# #IMAGE#", true);
    postEvent(kScreenLockedEvent, t1);
    postPhoto(kScreenLockedEvent, t1, makePhoto(t1));
    const std::string photo = odd + "/20120131235959123.tiff";
    EXPECT_EQ(output("odd"), "2\n" + photo + "\n" + photo + "\n");
    EXPECT_TRUE(platform::FileManager::fileExists(photo));
}

TEST_F(ScriptHandlerTest, PhotoFolderWithTildeIsTheOneInTheHome) {
    Defaults::standard().setObject("~/photos", kPrefSaveImagesPath);
    const std::string script = recorder("tilde");
    configure("screenLocked", script + "|||'#IMAGE#'", true);
    postEvent(kScreenLockedEvent, t1);
    postPhoto(kScreenLockedEvent, t1, makePhoto(t1));
    EXPECT_EQ(output("tilde"), "1\n" + photos + "/20120131235959123.tiff\n");
    EXPECT_TRUE(platform::FileManager::fileExists(photos + "/20120131235959123.tiff"));
}

TEST_F(ScriptHandlerTest, QueuedRunsAreReleasedOnlyByTheirOwnPhotos) {
    const std::string wrong = recorder("wrong");
    const std::string timeout = recorder("timeout");
    configure("wrongPassword", wrong + "|||#TIMESTAMP#", true);
    configure("passwordTimeout", timeout + "|||#TIMESTAMP#", true);
    postEvent(kWrongPasswordEvent, t1, "pw");
    postEvent(kPasswordTimeoutEvent, t2);
    ASSERT_EQ(handler->pendingScriptCount(), 2u);

    postPhoto(kScreenLockedEvent, t3, makePhoto(t3));
    EXPECT_EQ(handler->pendingScriptCount(), 2u);

    postPhoto(kPasswordTimeoutEvent, t2, makePhoto(t2));
    EXPECT_EQ(output("timeout"), "1\n" + t2.format(kPhotoTimestampFormat) + "\n");
    EXPECT_EQ(handler->pendingScriptCount(), 1u);
    EXPECT_FALSE(ran("wrong"));

    postPhoto(kWrongPasswordEvent, t1, makePhoto(t1));
    EXPECT_EQ(output("wrong"), "1\n20120131235959123\n");
    EXPECT_EQ(handler->pendingScriptCount(), 0u);
}

TEST_F(ScriptHandlerTest, ThreeWrongPasswordsRunTheirOwnScript) {
    const std::string wrong = recorder("wrong");
    const std::string three = recorder("three");
    configure("wrongPassword", wrong + "|||one", false);
    configure("threeWrongPassword", three + "|||three", false);
    postEvent(kThreeWrongPasswordEvent, t1, "pw");
    EXPECT_EQ(output("three"), "1\nthree\n");
    EXPECT_FALSE(ran("wrong"));
    EXPECT_EQ(env.logLinesContaining("Executing for event").size(), 1u);
}

TEST_F(ScriptHandlerTest, ThePathIsOneWordAndTheArgumentsKeepTheirShellMeaning) {
    for (const std::string name : {"my script.sh", "it's here.sh"}) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0.out\"\n";
        ::chmod(path.c_str(), 0755);
        const std::string injected = dir + "/injected";
        std::remove(injected.c_str());
        configure("screenLocked", path + "|||a  b; echo done > '" + injected + "'", false);
        postEvent(kScreenLockedEvent, t1);
        EXPECT_EQ(output(name), "2\na\nb\n") << name;
        EXPECT_TRUE(waitUntil([&] { return readText(injected) == "done\n"; })) << name;
    }
}

TEST_F(ScriptHandlerTest, ScriptsThatNeverEndCostNoThreadEach) {
    const auto threads = [] { return platform::FileManager::contentsOfDirectory("/proc/self/task").size(); };
    // A duration no other program on the machine sleeps, to stop them by.
    configure("screenLocked", "/bin/sleep|||29.0417", false);
    postEvent(kScreenLockedEvent, t1);
    ASSERT_TRUE(waitUntil([] { return childStates().size() == 1; }));
    const auto before = threads();
    constexpr int kRuns = 50;
    for (int i = 1; i < kRuns; ++i) postEvent(kScreenLockedEvent, Date::fromSeconds(1.3e9 + i));
    ASSERT_TRUE(waitUntil([] { return childStates().size() == kRuns; }, 30));
    ASSERT_TRUE(waitUntil([&] { return handler->runsUnderWay() == 0; }));
    EXPECT_LE(threads(), before) << "a thread waits for each running script";
    EXPECT_EQ(std::system("pkill -f '^/bin/sleep 29.0417$'"), 0);
}

TEST_F(ScriptHandlerTest, NoCameraOrSleepMeansNoWaiting) {
    const std::string script = recorder("nocam");
    configure("wrongPassword", script + "|||#IMAGE#", true);
    Defaults::standard().setObject("", kPrefVideoCaptureDevice);
    postEvent(kWrongPasswordEvent, t1, "pw");
    EXPECT_EQ(handler->pendingScriptCount(), 0u);
    const std::string photo = photos + "/20120131235959123.tiff";
    EXPECT_EQ(output("nocam"), "1\n" + photo + "\n");
    // No photo, no file; the path is handed on all the same.
    EXPECT_FALSE(platform::FileManager::fileExists(photo));

    const std::string asleep = recorder("asleep");
    configure("passwordTimeout", asleep + "|||x", true);
    Defaults::standard().setObject("0x1a11000005ac8509", kPrefVideoCaptureDevice);
    delegate.asleep = true;
    postEvent(kPasswordTimeoutEvent, t2);
    EXPECT_EQ(handler->pendingScriptCount(), 0u);
    EXPECT_EQ(output("asleep"), "1\nx\n");
}

TEST_F(ScriptHandlerTest, WithoutDelegateTheComputerCountsAsAwake) {
    handler = std::make_unique<ScriptHandler>();
    configure("wrongPassword", recorder("awake") + "|||x", true);
    postEvent(kWrongPasswordEvent, t1, "pw");
    EXPECT_EQ(handler->pendingScriptCount(), 1u);
}

TEST_F(ScriptHandlerTest, PhotosSavedAtOnceAreNotWrittenAgain) {
    Defaults::standard().setObject(true, kPrefSaveImagesImmediately);
    const std::string script = recorder("saved");
    configure("wrongPassword", script + "|||#IMAGE#", true);
    postEvent(kWrongPasswordEvent, t1, "pw");
    postPhoto(kWrongPasswordEvent, t1, makePhoto(t1));
    const std::string photo = photos + "/20120131235959123.tiff";
    EXPECT_EQ(output("saved"), "1\n" + photo + "\n");
    EXPECT_FALSE(platform::FileManager::fileExists(photo));
}

TEST_F(ScriptHandlerTest, SwitchedOffOrEmptyScriptsRunNothing) {
    postEvent(kScreenLockedEvent, t1);
    EXPECT_TRUE(env.logged("ScriptHandler got event " + std::string(kScreenLockedEvent)));
    EXPECT_TRUE(env.logged("No script configured for event " + std::string(kScreenLockedEvent)));

    configure("screenUnlocked", "|||echo should-not-run > '" + dir + "/empty.out'", false);
    postEvent(kScreenUnlockedEvent, t1);
    EXPECT_TRUE(waitUntil([&] { return env.logged("No script file set for event"); }));
    EXPECT_FALSE(env.logged("Executing for event"));
    EXPECT_EQ(handler->pendingScriptCount(), 0u);
}

TEST_F(ScriptHandlerTest, ManyRunsLeaveNoZombiesOrDescriptors) {
    if (!platform::FileManager::fileExists("/bin/true")) GTEST_SKIP() << "/bin/true is missing";
    ASSERT_TRUE(waitUntil([] { return childStates().empty(); }));
    const int descriptors = openDescriptorCount();
    configure("screenLocked", "/bin/true|||#TIMESTAMP#", false);
    constexpr int kRuns = 200;
    for (int i = 0; i < kRuns; ++i) postEvent(kScreenLockedEvent, Date::fromSeconds(1.3e9 + i));

    EXPECT_TRUE(waitUntil([&] { return env.logLinesContaining("Executing for event").size() == kRuns; }, 30));
    EXPECT_TRUE(waitUntil([] { return childStates().empty(); }, 30))
        << childStates().size() << " children left, first state " << (childStates().empty() ? '-' : childStates()[0]);
    EXPECT_TRUE(waitUntil([&] { return openDescriptorCount() <= descriptors; }, 10))
        << openDescriptorCount() << " descriptors open, " << descriptors << " before";
}

}  // namespace
