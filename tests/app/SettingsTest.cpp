#include "AppTestFixture.h"

#include <cmath>

namespace apptest {
namespace {

class SettingsTest : public AppTest {};

TEST_F(SettingsTest, ExponentIsTheThirtyTwoBitQuotientOfTheLogarithms) {
    load();
    EXPECT_EQ(f, static_cast<float>(std::log10(10800.0) / std::log10(54.0)));
    EXPECT_NEAR(f, 2.3282373f, 1e-6f);
}

TEST_F(SettingsTest, SliderCurveMatchesEverySampleValue) {
    load();
    struct Sample {
        float position;
        std::int32_t minutes;
        std::int32_t bluetoothSeconds;
    };
    const Sample samples[] = {{0.5f, 0, 30},   {1, 1, 60},       {25, 1, 60},      {50, 4, 240},
                              {75, 10, 600},   {92, 15, 900},    {100, 18, 1080},  {150, 46, 2760},
                              {200, 90, 5400}, {250, 151, 9060}, {270, 181, 10860}};
    for (const Sample& s : samples) {
        set(kPrefAutoActivate, s.position);
        set(kPrefBluetoothTimeout, s.position);
        EXPECT_EQ(app->autoActivateMinutes(), s.minutes) << "position " << s.position;
        EXPECT_EQ(app->secondsUntilBluetoothLock(), s.bluetoothSeconds) << "position " << s.position;
    }
}

TEST_F(SettingsTest, ThresholdsOfTheTwoCurves) {
    load();
    set(kPrefAutoActivate, 0.99f);
    EXPECT_EQ(app->autoActivateMinutes(), 0);
    set(kPrefAutoActivate, 1.0f);
    EXPECT_EQ(app->autoActivateMinutes(), 1);

    set(kPrefBluetoothTimeout, 0.49f);
    EXPECT_EQ(app->secondsUntilBluetoothLock(), 0);
    set(kPrefBluetoothTimeout, 0.5f);
    EXPECT_EQ(app->secondsUntilBluetoothLock(), 30);
    set(kPrefBluetoothTimeout, 0.99f);
    EXPECT_EQ(app->secondsUntilBluetoothLock(), 30);
    set(kPrefBluetoothTimeout, 1.0f);
    EXPECT_EQ(app->secondsUntilBluetoothLock(), 60);
}

TEST_F(SettingsTest, FreshUserRunsOnTheRegisteredDefaults) {
    load();
    auto& d = platform::Defaults::standard();
    EXPECT_EQ(app->autoActivateMinutes(), 0) << "autoActivate has no default: no automatic locking";
    EXPECT_EQ(app->secondsUntilBluetoothLock(), 30);
    EXPECT_TRUE(d.objectForKey(kPrefAutoActivate).isNull());
    EXPECT_TRUE(d.objectForKey(kPrefLockScreenHotKeyCode).isNull());
    EXPECT_TRUE(d.objectForKey(kPrefPasswordInputSource).isNull());
    EXPECT_TRUE(d.boolForKey(kPrefShowInMenu));
    EXPECT_TRUE(d.boolForKey(kPrefFadingEnabled));
    EXPECT_FALSE(d.boolForKey(kPrefLockOnStartup));
    EXPECT_EQ(d.integerForKey(kPrefPenalty), 1);
    EXPECT_EQ(d.integerForKey(kPrefInputPause), 10);
    EXPECT_EQ(d.integerForKey(kPrefDimScreen), 60);
    EXPECT_EQ(d.integerForKey(kPrefDimScreenMode), 1);
    EXPECT_EQ(d.integerForKey(kPrefThreeWrongPasswordsImage), 1);
    EXPECT_TRUE(d.arrayForKey(kPrefExceptions).empty());
    EXPECT_EQ(d.stringForKey(kPrefSaveImagesPath),
              platform::paths::appendComponent(platform::paths::cachesDirectory(), kBundleName));
    // Per-event actions: every master switch and log on, photos except on unlock.
    for (const char* event : {kPrefScreenLocked, kPrefWrongPassword, kPrefThreeWrongPassword, kPrefPasswordTimeout}) {
        EXPECT_TRUE(d.boolForKey(event)) << event;
        EXPECT_TRUE(d.boolForKey(std::string(event) + ".log.photo")) << event;
        EXPECT_FALSE(d.boolForKey(std::string(event) + ".script")) << event;
        EXPECT_EQ(d.objectForKey(std::string(event) + ".script.details"), platform::Value("")) << event;
    }
    EXPECT_TRUE(d.boolForKey(kPrefScreenUnlocked));
    EXPECT_FALSE(d.boolForKey("screenUnlocked.log.photo"));
    EXPECT_FALSE(d.boolForKey("screenLocked.email"));
}

TEST_F(SettingsTest, StoredPhotoFolderWinsOverTheDefault) {
    set(kPrefSaveImagesPath, "/srv/photos");
    load();
    EXPECT_EQ(platform::Defaults::standard().stringForKey(kPrefSaveImagesPath), "/srv/photos");
}

}  // namespace
}  // namespace apptest
