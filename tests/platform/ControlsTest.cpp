#include "platform/services/Input.h"
#include "platform/ui/Event.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/ShortcutRecorder.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using platform::Event;
using platform::ShortcutRecorder;

struct RecordingDelegate : platform::ShortcutRecorderDelegate {
    std::vector<ShortcutRecorder::KeyCombo> changes;
    bool taken = false;
    bool shortcutRecorderIsKeyCode(ShortcutRecorder&, std::int32_t, std::uint32_t, std::string& reason) override {
        if (taken) reason = "in use";
        return taken;
    }
    void shortcutRecorderKeyComboDidChange(ShortcutRecorder&, std::int32_t code, std::uint32_t flags) override {
        changes.push_back({flags, code});
    }
};

TEST(ShortcutRecorderTest, FlagsConvertBetweenTheEventAndTheCarbonEncoding) {
    namespace carbon = platform::carbon;
    const std::vector<std::pair<std::uint32_t, std::int32_t>> pairs = {
        {0, 0},
        {Event::Command, carbon::cmdKey},
        {Event::Shift, carbon::shiftKey},
        {Event::Option, carbon::optionKey},
        {Event::Control, carbon::controlKey},
        {Event::Control | Event::Shift, 0x1200},
        {Event::Command | Event::Shift | Event::Option | Event::Control, 0x1B00},
    };
    for (const auto& [cocoa, carbonFlags] : pairs) {
        EXPECT_EQ(ShortcutRecorder::cocoaToCarbonFlags(cocoa), carbonFlags);
        EXPECT_EQ(ShortcutRecorder::carbonToCocoaFlags(carbonFlags), cocoa);
    }
    EXPECT_EQ(ShortcutRecorder::cocoaToCarbonFlags(1u << 16), 0) << "Caps Lock is no part of a combination";
}

TEST(ShortcutRecorderTest, RecordsACombinationOnlyWhileRecording) {
    ShortcutRecorder recorder;
    RecordingDelegate delegate;
    recorder.setDelegate(&delegate);
    EXPECT_FALSE(recorder.recordKey(37, Event::Control)) << "not recording";

    recorder.beginRecording();
    EXPECT_FALSE(recorder.recordKey(37, 0)) << "a letter alone types";
    EXPECT_FALSE(recorder.recordKey(37, Event::Shift)) << "so does a shifted one";
    EXPECT_TRUE(recorder.isRecording());
    delegate.taken = true;
    EXPECT_FALSE(recorder.recordKey(37, Event::Control)) << "a taken combination is refused";
    delegate.taken = false;
    EXPECT_TRUE(recorder.recordKey(37, Event::Control | Event::Shift | (1u << 16)));
    EXPECT_FALSE(recorder.isRecording());
    const ShortcutRecorder::KeyCombo ctrlShiftL{Event::Control | Event::Shift, 37};
    EXPECT_EQ(recorder.keyCombo(), ctrlShiftL);

    recorder.beginRecording();
    EXPECT_TRUE(recorder.recordKey(platform::keycode::Escape, 0));
    EXPECT_EQ(recorder.keyCombo(), ctrlShiftL) << "Escape cancels";

    recorder.beginRecording();
    EXPECT_TRUE(recorder.recordKey(96, 0)) << "F5 alone is a combination";

    recorder.beginRecording();
    EXPECT_TRUE(recorder.recordKey(platform::keycode::Delete, 0));
    EXPECT_EQ(recorder.keyCombo().code, ShortcutRecorder::kNoKeyCode);

    const std::vector<ShortcutRecorder::KeyCombo> told = {ctrlShiftL, {0, 96}, {0, -1}};
    EXPECT_EQ(delegate.changes, told);

    recorder.setKeyCombo(ctrlShiftL);
    EXPECT_EQ(delegate.changes.size(), 3u) << "showing a combination tells nobody";
    recorder.setEnabled(false);
    recorder.beginRecording();
    EXPECT_FALSE(recorder.isRecording());
}

TEST(SliderTest, ValuesStayInTheRangeAndOnTheMarksWhenOnlyMarksAreAllowed) {
    platform::Slider slider;
    slider.setRange(0, 60);
    slider.setDoubleValue(75);
    EXPECT_EQ(slider.doubleValue(), 60);
    slider.setDoubleValue(-3);
    EXPECT_EQ(slider.doubleValue(), 0);
    slider.setDoubleValue(std::nan(""));
    EXPECT_EQ(slider.doubleValue(), 0);
    slider.setDoubleValue(7.6);
    EXPECT_EQ(slider.intValue(), 7) << "truncated";
    slider.setNumberOfTickMarks(13);
    slider.setAllowsTickMarkValuesOnly(true);
    EXPECT_EQ(slider.doubleValue(), 10) << "moved to the nearest mark";

    int actions = 0;
    slider.setAction([&](platform::Slider&) { ++actions; });
    slider.userMoved(33);
    EXPECT_EQ(slider.doubleValue(), 35);
    slider.setEnabled(false);
    slider.userMoved(0);
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(slider.doubleValue(), 35);
}

TEST(PopUpButtonTest, AnItemsOwnActionIsSentWithTheItemElseTheButtonsWithTheButton) {
    platform::PopUpButton popUp;
    std::vector<platform::Object*> senders;
    popUp.setAction([&](platform::Object* sender) { senders.push_back(sender); });
    auto plain = popUp.addItem("plain", 4);
    auto own = popUp.addItem("own", 9, [&](platform::Object* sender) { senders.push_back(sender); });
    EXPECT_EQ(popUp.selectedItem(), plain) << "the first item is selected";

    popUp.userSelected(1);
    popUp.userSelected(0);
    EXPECT_EQ(senders, (std::vector<platform::Object*>{own.get(), &popUp}));
    EXPECT_EQ(popUp.selectedItem(), plain);

    EXPECT_TRUE(popUp.selectItemWithTag(9));
    EXPECT_EQ(popUp.selectedItem(), own);
    EXPECT_FALSE(popUp.selectItemWithTag(5));
    EXPECT_EQ(popUp.selectedItem(), nullptr) << "no item stands for a tag none has";
}

TEST(WindowSheetTest, OneSheetAtATimeHangsOnAWindowUntilItEnds) {
    platform::Window main, sheet, second;
    main.beginSheet(sheet);
    EXPECT_EQ(main.attachedSheet(), &sheet);
    EXPECT_EQ(sheet.sheetParent(), &main);
    EXPECT_TRUE(sheet.isKeyWindow());
    main.beginSheet(second);
    EXPECT_EQ(main.attachedSheet(), &sheet);
    EXPECT_FALSE(second.isVisible());
    main.endSheet(sheet);
    EXPECT_EQ(main.attachedSheet(), nullptr);
    EXPECT_EQ(sheet.sheetParent(), nullptr);
    {
        platform::Window transient;
        main.beginSheet(transient);
    }
    EXPECT_EQ(main.attachedSheet(), nullptr) << "a sheet that goes ends itself";
}

}  // namespace
