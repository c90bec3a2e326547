#include "PaneTestFixture.h"

#include "platform/foundation/AssertionHandler.h"

#include <functional>

namespace panetest {
namespace {

// What each events row stands for, as the user sees it.
struct EventRow {
    const char* name;
    const char* key;
};
const std::vector<EventRow> kEvents = {{"Wrong Password", kPrefWrongPassword},
                                       {"3x Wrong Password", kPrefThreeWrongPassword},
                                       {"Lock Screen", kPrefScreenLocked},
                                       {"Unlock Screen", kPrefScreenUnlocked},
                                       {"Password Timeout", kPrefPasswordTimeout}};
constexpr int kLogRow = 0;
constexpr int kScriptRow = 1;

class EventActionTablesTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        setPassword(kPassword);
        openPane();
        events = control<platform::TableView>("events");
        actions = control<platform::TableView>("actions");
        changesBefore = changeCount();
    }
    int rowOf(const std::string& eventName) const {
        for (std::size_t i = 0; i < kEvents.size(); ++i)
            if (eventName == kEvents[i].name) return static_cast<int>(i);
        ADD_FAILURE() << "no event " << eventName;
        return -1;
    }
    void selectEvent(const std::string& eventName) { events->userSelectedRow(rowOf(eventName)); }
    platform::Value action(const std::string& column, int row) { return actions->objectValue(column, row); }
    platform::Window& scriptSheet() const { return *hostWindow->attachedSheet(); }
    template <class T>
    std::shared_ptr<T> inSheet(const std::string& identifier) const {
        return std::dynamic_pointer_cast<T>(scriptSheet().contentView()->viewWithIdentifier(identifier));
    }
    // Switches the script on for the event and fills the sheet.
    void chooseScript(const std::string& eventName, const std::string& path, const std::string& arguments) {
        selectEvent(eventName);
        actions->userToggledCheckBox("enabled", kScriptRow);
        ASSERT_NE(hostWindow->attachedSheet(), nullptr);
        openPanels.chooseNext(path);
        inSheet<platform::Button>("chooseScript")->performClick();
        inSheet<platform::TextField>("scriptArguments")->userEdited(arguments);
    }
    void expectOneAnnouncement() {
        EXPECT_EQ(changeCount(), changesBefore + 1);
        changesBefore = changeCount();
    }

    std::shared_ptr<platform::TableView> events, actions;
    std::size_t changesBefore = 0;
};

TEST_F(EventActionTablesTest, AFreshDomainShowsEveryFallback) {
    ASSERT_EQ(events->numberOfRows(), 5);
    EXPECT_EQ(actions->numberOfRows(), 0) << "no reactions without an event";
    for (const EventRow& event : kEvents) {
        SCOPED_TRACE(event.name);
        const int row = rowOf(event.name);
        EXPECT_EQ(events->objectValue("name", row), platform::Value(event.name));
        EXPECT_EQ(events->objectValue("enabled", row), platform::Value(true));
        selectEvent(event.name);
        ASSERT_EQ(actions->numberOfRows(), 2);
        EXPECT_EQ(action("name", kLogRow), platform::Value("Log"));
        EXPECT_EQ(action("enabled", kLogRow), platform::Value(true));
        EXPECT_EQ(action("photo", kLogRow), platform::Value(std::string(event.key) != kPrefScreenUnlocked));
        EXPECT_EQ(action("name", kScriptRow), platform::Value("Execute Script"));
        EXPECT_EQ(action("enabled", kScriptRow), platform::Value(false));
        EXPECT_EQ(action("photo", kScriptRow), platform::Value(false));
        EXPECT_EQ(action("details", kScriptRow), platform::Value(""));
    }
    EXPECT_EQ(changeCount(), changesBefore) << "looking writes nothing";
}

TEST_F(EventActionTablesTest, EachCheckBoxWritesItsKeyAsABooleanWithOneAnnouncement) {
    struct Case {
        const char* event;
        bool inEvents;
        const char* column;
        int row;
        std::string key;
    };
    const std::vector<Case> cases = {
        {"Lock Screen", false, "enabled", kLogRow, "screenLocked.log"},
        {"Unlock Screen", false, "photo", kLogRow, "screenUnlocked.log.photo"},
        {"Password Timeout", false, "photo", kScriptRow, "passwordTimeout.script.photo"},
        {"3x Wrong Password", true, "enabled", 1, "threeWrongPassword"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        selectEvent(c.event);
        platform::TableView& table = c.inEvents ? *events : *actions;
        const bool was = table.objectValue(c.column, c.row).boolValue();
        table.userToggledCheckBox(c.column, c.row);
        EXPECT_EQ(stored(c.key), platform::Value(!was)) << "a Boolean, not a number";
        EXPECT_EQ(table.objectValue(c.column, c.row), platform::Value(!was));
        expectOneAnnouncement();
    }
}

TEST_F(EventActionTablesTest, AConfirmedScriptIsStoredAsPathSeparatorArgumentsAndShownWithASpace) {
    selectEvent("Wrong Password");
    actions->userToggledCheckBox("enabled", kScriptRow);
    ASSERT_NE(hostWindow->attachedSheet(), nullptr);
    EXPECT_EQ(inSheet<platform::TextField>("scriptNameLabel")->stringValue(), "");
    EXPECT_EQ(inSheet<platform::TextField>("scriptArguments")->stringValue(), "");
    EXPECT_TRUE(inSheet<platform::TextField>("scriptArguments")->isEditable());
    EXPECT_FALSE(inSheet<platform::TextField>("scriptNameLabel")->isEditable()) << "a path comes from the panel only";
    EXPECT_FALSE(inSheet<platform::Button>("scriptOkButton")->isEnabled());
    EXPECT_TRUE(stored("wrongPassword.script").isNull()) << "on only once confirmed";
    expectOneAnnouncement();

    openPanels.chooseNext("/bin/alarm");
    inSheet<platform::Button>("chooseScript")->performClick();
    ASSERT_EQ(openPanels.shown().size(), 1u);
    const platform::OpenPanel panel = openPanels.shown().front().panel;
    EXPECT_EQ(panel.message, "Select an executable, application or AppleScript");
    EXPECT_TRUE(panel.canChooseFiles && !panel.canChooseDirectories && !panel.allowsMultipleSelection);
    EXPECT_TRUE(inSheet<platform::Button>("scriptOkButton")->isEnabled());
    inSheet<platform::TextField>("scriptArguments")->userEdited("x y");
    inSheet<platform::Button>("scriptOkButton")->performClick();

    EXPECT_EQ(hostWindow->attachedSheet(), nullptr);
    EXPECT_EQ(stored("wrongPassword.script"), platform::Value(true));
    EXPECT_EQ(stored("wrongPassword.script.details"), platform::Value("/bin/alarm|||x y"));
    expectOneAnnouncement();
    EXPECT_EQ(action("details", kScriptRow), platform::Value("/bin/alarm x y"));
    EXPECT_EQ(action("enabled", kScriptRow), platform::Value(true));
}

TEST_F(EventActionTablesTest, CancellingTheSheetOrThePanelKeepsWhatWasStored) {
    chooseScript("Lock Screen", "/opt/my tools/alarm", "-q \"now\"");
    inSheet<platform::Button>("scriptOkButton")->performClick();
    actions->userToggledCheckBox("enabled", kScriptRow);
    EXPECT_EQ(stored("screenLocked.script"), platform::Value(false));

    actions->userToggledCheckBox("enabled", kScriptRow);
    openPanels.cancelNext();
    inSheet<platform::Button>("chooseScript")->performClick();
    EXPECT_EQ(inSheet<platform::TextField>("scriptNameLabel")->stringValue(), "/opt/my tools/alarm");
    inSheet<platform::Button>("scriptCancelButton")->performClick();
    EXPECT_EQ(hostWindow->attachedSheet(), nullptr);
    EXPECT_EQ(stored("screenLocked.script"), platform::Value(false));
    EXPECT_EQ(stored("screenLocked.script.details"), platform::Value("/opt/my tools/alarm|||-q \"now\""));
    EXPECT_EQ(action("enabled", kScriptRow), platform::Value(false));
}

TEST_F(EventActionTablesTest, ReopeningShowsTheStoredScriptAndConfirmingUnchangedKeepsIt) {
    struct Case {
        std::string stored;
        std::string path, arguments, shown;
    };
    const std::vector<Case> cases = {
        {"/bin/alarm|||a|||b", "/bin/alarm", "a|||b", "/bin/alarm a b"},
        {"/bin/alarm|||", "/bin/alarm", "", "/bin/alarm "},
        {"/bin/alarm", "/bin/alarm", "", "/bin/alarm"},
    };
    selectEvent("Password Timeout");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        platform::preferences::setAppValue("passwordTimeout.script", false, kBundleName);
        platform::preferences::setAppValue("passwordTimeout.script.details", c.stored, kBundleName);
        platform::preferences::appSynchronize(kBundleName);
        EXPECT_EQ(action("details", kScriptRow), platform::Value(c.shown));
        actions->userToggledCheckBox("enabled", kScriptRow);
        ASSERT_NE(hostWindow->attachedSheet(), nullptr);
        EXPECT_EQ(inSheet<platform::TextField>("scriptNameLabel")->stringValue(), c.path);
        EXPECT_EQ(inSheet<platform::TextField>("scriptArguments")->stringValue(), c.arguments);
        EXPECT_TRUE(inSheet<platform::Button>("scriptOkButton")->isEnabled());
        inSheet<platform::Button>("scriptOkButton")->performClick();
        EXPECT_EQ(stored("passwordTimeout.script.details"), platform::Value(c.path + "|||" + c.arguments));
    }
}

TEST_F(EventActionTablesTest, WithoutAnEventTheReactionsAreEmptyAndWriteNothing) {
    EXPECT_EQ(actions->numberOfRows(), 0);
    const platform::TableColumn& enabled = *actions->tableColumnWithIdentifier("enabled");
    pane->tableViewSetObjectValue(*actions, true, enabled, kLogRow);
    EXPECT_TRUE(pane->tableViewObjectValueForTableColumn(*actions, enabled, kLogRow).isNull());
    EXPECT_FALSE(pane->selectedAction().has_value());
    EXPECT_EQ(changeCount(), changesBefore);
    EXPECT_TRUE(storedFile().empty() || stored("wrongPassword.log").isNull());
    EXPECT_FALSE(pane->controlTextShouldBeginEditing(*actions)) << "no cell is edited in place";
}

// Reports more rows than the pane has, so that an impossible event can be selected.
struct TooManyEvents final : platform::TableViewDataSource {
    int numberOfRowsInTableView(platform::TableView&) override { return 9; }
    platform::Value tableViewObjectValueForTableColumn(platform::TableView&, const platform::TableColumn&,
                                                       int) override {
        return {};
    }
    void tableViewSetObjectValue(platform::TableView&, const platform::Value&, const platform::TableColumn&,
                                 int) override {}
};

TEST_F(EventActionTablesTest, ImpossibleRowsAndColumnsRaiseWithTheirDescriptions) {
    const auto column = [](const char* identifier) {
        return platform::TableColumn{identifier, "", platform::TableCellKind::Text, 0};
    };
    const platform::TableColumn name = column("name"), enabled = column("enabled"), photo = column("photo"),
                                unknown = column("colour");
    platform::TableView& ev = *events;
    platform::TableView& ac = *actions;
    PreferenceController& p = *pane;
    struct Case {
        int selectedEvent;
        std::function<void()> call;
        std::string description;
    };
    const std::vector<Case> cases = {
        {0, [&] { p.tableViewObjectValueForTableColumn(ev, enabled, 5); },
         "Event not set up in [PreferencesController tableView:objectValueForTableColumn:row]"},
        {0, [&] { p.tableViewSetObjectValue(ev, true, enabled, 5); },
         "Event not set up in [PreferencesController tableView:setObjectValueForTableColumn:row]"},
        {7, [&] { p.numberOfRowsInTableView(ac); },
         "Event not set up in [PreferencesController numberOfRowsInTableView:]"},
        {0, [&] { p.tableViewObjectValueForTableColumn(ac, name, 2); },
         "Cannot provide data for this column; column: name; action: 2, event: 0"},
        {7, [&] { p.tableViewObjectValueForTableColumn(ac, enabled, 0); },
         "Unknown event; column: enabled; action: 0, event: 7"},
        {7, [&] { p.tableViewSetObjectValue(ac, true, photo, 1); },
         "Unknown event; column: photo; action: 1, event: 7"},
        {2, [&] { p.tableViewObjectValueForTableColumn(ac, photo, 3); },
         "Unknown action; column: photo; action: 3, event: 2"},
        {2, [&] { p.tableViewSetObjectValue(ac, true, enabled, -1); },
         "Unknown action; column: enabled; action: -1, event: 2"},
        {4, [&] { p.tableViewObjectValueForTableColumn(ac, unknown, 1); },
         "Unknown event column; column: colour; action: 1, event: 4"},
        {3, [&] { p.selectedAction(); }, "Event not set up in [PreferencesController selectedAction]: 3"},
    };
    TooManyEvents tooMany;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        events->setDataSource(&tooMany);
        events->reloadData();
        events->selectRow(c.selectedEvent);
        events->setDataSource(pane.get());
        actions->deselectAll();
        try {
            c.call();
            ADD_FAILURE() << "nothing raised";
        } catch (const platform::AssertionFailure& failure) {
            EXPECT_EQ(failure.description(), c.description);
            EXPECT_EQ(failure.file(), "PreferenceController");
        }
    }
    EXPECT_EQ(changeCount(), changesBefore) << "a refused write announces nothing";
}

}  // namespace
}  // namespace panetest
