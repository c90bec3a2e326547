#include "app/LogWindowInterface.h"

#include "app/ImageView_MouseOver.h"
#include "app/LogController.h"
#include "app/LogItem.h"
#include "platform/ui/TextField.h"

namespace {

constexpr double kWindowWidth = 480;
constexpr double kBarHeight = 60;
constexpr double kRowHeight = 42;

std::shared_ptr<platform::TextField> makeLabel(const std::string& identifier, platform::Rect frame) {
    auto label = std::make_shared<platform::TextField>(frame);
    label->setIdentifier(identifier);
    label->setEditable(false);
    label->setBordered(false);
    label->setDrawsBackground(false);
    label->setFont("system", 12);
    return label;
}

void showEntry(const LogItem& entry, ImageView_MouseOver& image, platform::TextField& date, platform::TextField& time,
               platform::TextField& message) {
    image.setImage(entry.image());
    date.setStringValue(entry.dateAsString());
    time.setStringValue(entry.timeAsString());
    message.setStringValue(entry.message());
}

// One row: the icon or photo, the date, the time and the message, kept up to
// date with its entry.
platform::ViewRef makeLogItemView(const platform::ObjectRef& object, const platform::Rect& frame) {
    auto entry = std::dynamic_pointer_cast<LogItem>(object);
    if (!entry) return nullptr;
    auto row = std::make_shared<platform::View>(frame);
    auto image = std::make_shared<ImageView_MouseOver>(platform::Rect{8, 5, 32, 32});
    image->setIdentifier("image");
    auto date = makeLabel("date", {48, 12, 88, 18});
    auto time = makeLabel("time", {140, 12, 76, 18});
    auto message = makeLabel("message", {220, 12, frame.width - 228, 18});
    row->addSubview(image);
    row->addSubview(date);
    row->addSubview(time);
    row->addSubview(message);
    showEntry(*entry, *image, *date, *time, *message);

    std::weak_ptr<LogItem> weakEntry = entry;
    std::weak_ptr<ImageView_MouseOver> weakImage = image;
    std::weak_ptr<platform::TextField> weakDate = date, weakTime = time, weakMessage = message;
    entry->setChangeHandler([=] {
        auto e = weakEntry.lock();
        auto i = weakImage.lock();
        auto d = weakDate.lock();
        auto t = weakTime.lock();
        auto m = weakMessage.lock();
        if (e && i && d && t && m) showEntry(*e, *i, *d, *t, *m);
    });
    return row;
}

}  // namespace

LogWindowOutlets loadLogWindow(LogController& owner) {
    LogWindowOutlets outlets;
    outlets.window = std::make_unique<platform::Window>(platform::Rect{0, 0, kWindowWidth, kBarHeight});
    outlets.window->setTitle("Tarnwick Log");
    outlets.window->setDelegate(&owner);

    auto content = std::make_shared<platform::View>(platform::Rect{0, 0, kWindowWidth, kBarHeight});

    outlets.logEntriesController = std::make_shared<platform::ArrayController>();
    outlets.logEntriesController->setObjectFactory([] { return std::make_shared<LogItem>(); });

    outlets.collectionView = std::make_shared<platform::CollectionView>(platform::Rect{0, kBarHeight, kWindowWidth, 0});
    outlets.collectionView->setIdentifier("collectionView");
    outlets.collectionView->setItemHeight(kRowHeight);
    outlets.collectionView->setItemPrototype(makeLogItemView);
    outlets.collectionView->bindContent(outlets.logEntriesController);

    outlets.showPasswords = std::make_shared<platform::Button>(platform::Rect{16, 19, 200, 22}, "Show passwords");
    outlets.showPasswords->setIdentifier("showPasswords");
    outlets.showPasswords->setCheckbox(true);
    outlets.showPasswords->setHidden(true);
    outlets.showPasswords->setAction([&owner](platform::Button& sender) { owner.showPasswordsChanged(&sender); });

    outlets.clearButton = std::make_shared<platform::Button>(platform::Rect{kWindowWidth - 100, 16, 84, 28}, "Clear");
    outlets.clearButton->setIdentifier("clearButton");
    outlets.clearButton->setHidden(true);
    outlets.clearButton->setAction([&owner](platform::Button& sender) { owner.reset(&sender); });

    content->addSubview(outlets.collectionView);
    content->addSubview(outlets.showPasswords);
    content->addSubview(outlets.clearButton);
    outlets.window->setContentView(content);
    outlets.window->setAcceptsMouseMovedEvents(true);
    return outlets;
}

void layoutLogWindow(const LogWindowOutlets& outlets) {
    const platform::Rect frame = outlets.window->frame();
    if (const auto& content = outlets.window->contentView()) content->setFrame({0, 0, frame.width, frame.height});
    outlets.collectionView->setFrame({0, kBarHeight, frame.width, std::max(0.0, frame.height - kBarHeight)});
    outlets.collectionView->layoutItems();
    outlets.clearButton->setFrame({frame.width - 100, 16, 84, 28});
}
