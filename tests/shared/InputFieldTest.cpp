#include "shared/InputField.h"
#include "shared/PasswordChangeListener.h"

#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class Listener : public platform::Object, public PasswordChangeListener {
public:
    void passwordIsChanging(platform::Object* sender) override { senders.push_back(sender); }
    std::vector<platform::Object*> senders;
};

// A delegate that hears nothing of password changes.
class Bystander : public platform::Object {};

TEST(InputField, StartsBorderlessInTheSystemFontAt28PointsAndMayNotResign) {
    InputField field;
    EXPECT_FALSE(field.isBordered());
    EXPECT_EQ(field.fontName(), "system");
    EXPECT_EQ(field.fontSize(), 28);
    EXPECT_TRUE(field.isSecure());
    EXPECT_FALSE(field.allowResign());
}

TEST(InputField, EmptyFieldYieldsTheDigestOfZeroBytes) {
    InputField field;
    EXPECT_EQ(field.md5String(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(InputField, DigestIsLowerCaseHexOfTheUtf8Bytes) {
    InputField field;
    field.setStringValue("secret");
    EXPECT_EQ(field.md5String(), "5ebe2294ecd0e0f08eab7690d2a6ee69");
    // "é" is two bytes in UTF-8 (c3 a9): the digest of those two bytes.
    field.setStringValue("\xc3\xa9");
    const std::string digest = field.md5String();
    EXPECT_EQ(digest, "66ddcd97cfdeabb2f6fb8a999b4bc76f");
    EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos);
    // The same letter decomposed (e + combining acute) is other bytes, so another digest.
    field.setStringValue("e\xcc\x81");
    EXPECT_NE(field.md5String(), digest);
}

TEST(InputField, SameTextInTwoFieldsGivesTheSameDigestEveryTime) {
    InputField pane, lockWindow;
    pane.setStringValue("pässwörd €");
    lockWindow.userEdited("pässwörd €");
    EXPECT_EQ(pane.md5String(), lockWindow.md5String());
    EXPECT_EQ(pane.md5String(), pane.md5String());
    lockWindow.userEdited("pässwörd");
    EXPECT_NE(pane.md5String(), lockWindow.md5String());
}

TEST(InputField, EveryUserEditTellsAListeningDelegateOnce) {
    auto field = std::make_shared<InputField>();
    Listener listener;
    field->setDelegate(&listener);
    field->userEdited("a");
    field->userEdited("ab");
    field->userEdited("a");
    ASSERT_EQ(listener.senders.size(), 3u);
    for (platform::Object* sender : listener.senders) EXPECT_EQ(sender, field.get());
}

TEST(InputField, DelegateWithoutTheListenerInterfaceHearsNothingAndNothingBreaks) {
    InputField field;
    Bystander bystander;
    field.setDelegate(&bystander);
    field.userEdited("abc");
    field.setDelegate(nullptr);
    field.userEdited("abcd");
    EXPECT_EQ(field.stringValue(), "abcd");
}

TEST(InputField, KeepsFocusUnlessAllowedToResign) {
    platform::Window window;
    auto field = std::make_shared<InputField>();
    auto other = std::make_shared<InputField>();
    ASSERT_TRUE(window.makeFirstResponder(field.get()));

    EXPECT_FALSE(window.makeFirstResponder(other.get()));
    EXPECT_EQ(window.firstResponder(), field.get());
    EXPECT_FALSE(window.makeFirstResponder(nullptr));
    EXPECT_EQ(window.firstResponder(), field.get());

    field->setAllowResign(true);
    EXPECT_TRUE(window.makeFirstResponder(other.get()));
    EXPECT_EQ(window.firstResponder(), other.get());
}

}  // namespace
