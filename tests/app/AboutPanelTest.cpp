#include "AppTestFixture.h"

#include "app/AboutPanel.h"

namespace apptest {
namespace {

class AboutPanelTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        load();
    }
};

TEST_F(AboutPanelTest, ShowsThePictureAndTheVersionOverIt) {
    auto panel = AboutPanel::displayAboutPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->frame(), (platform::Rect{1440 / 2.0 - 200, 900 / 2.0 - 200, 400, 400}));
    EXPECT_TRUE(panel->isKeyWindow());
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 1.0);
    EXPECT_EQ(panel->styleMask(), platform::Window::Borderless);
    EXPECT_TRUE(panel->hasShadow());
    EXPECT_EQ(panel->imageView()->imageName(), "about.png");
    EXPECT_EQ(panel->versionInfo()->stringValue(), AboutPanel::versionText());
    EXPECT_EQ(AboutPanel::versionText().rfind("VERSION ", 0), 0u) << "the bundle version is a non-zero number";
    EXPECT_EQ(app->rememberedFrontProcess(), finder);
    EXPECT_TRUE(platform::Application::shared().isActive());
    panel->sendEvent(platform::Event::keyDown(0, "a"));
    env.advance(1.0);
}

TEST_F(AboutPanelTest, KeyOrClickDismissesButMouseMovesDoNot) {
    auto panel = AboutPanel::displayAboutPanel();
    panel->sendEvent(platform::Event::ofType(platform::Event::Type::MouseMoved));
    EXPECT_FALSE(panel->isDismissing());
    panel->sendEvent(platform::Event::keyDown(0, "a"));
    EXPECT_TRUE(panel->isDismissing());
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 0.0);
    EXPECT_TRUE(panel->isVisible());
    env.advance(1.0);
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(AboutPanelTest, PreviousApplicationComesBackWithoutDockIcon) {
    set(kPrefShowInDock, false);
    auto panel = AboutPanel::displayAboutPanel();
    EXPECT_EQ(processes.front(), processes.self());
    panel->sendEvent(platform::Event::ofType(platform::Event::Type::RightMouseDown));
    env.advance(1.0);
    EXPECT_EQ(processes.front(), finder);
}

TEST_F(AboutPanelTest, WithDockIconTheApplicationStaysInFront) {
    auto panel = AboutPanel::displayAboutPanel();
    panel->sendEvent(platform::Event::ofType(platform::Event::Type::LeftMouseDown));
    env.advance(1.0);
    EXPECT_EQ(processes.front(), processes.self());
}

TEST_F(AboutPanelTest, SecondPanelDismissesTheFirst) {
    auto first = AboutPanel::displayAboutPanel();
    auto second = AboutPanel::displayAboutPanel();
    EXPECT_TRUE(first->isDismissing());
    EXPECT_FALSE(second->isDismissing());
    EXPECT_TRUE(second->isKeyWindow());
    second->sendEvent(platform::Event::keyDown(0, "a"));
    env.advance(1.0);
}

}  // namespace
}  // namespace apptest
