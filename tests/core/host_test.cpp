// The built plug-in in the in-process title-bar host: several bars, the
// main instance going away, configuration defaults, and a clean shutdown.
#include <filesystem>

#include "dos/dos.h"
#include "exec/clock.h"
#include "host/host.h"
#include "host/screenbar.h"
#include "core/Melodune.h"
#include "support/clock_rate.h"
#include "support/temp_root.h"
#include <gtest/gtest.h>

namespace {

struct HostTest : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(platform::SetDosRoot(tmp.CopySkeleton())); }
  testsupport::TempRoot tmp{"melodune-host"};
  testsupport::ClockRate clock{50};
};

TEST_F(HostTest, BarsComeAndGoAndNothingIsLeftAfterShutdown) {
  platform::ScreenbarHost host;
  ASSERT_TRUE(host.Load(MELODUNE_BIN_DIR "/Melodune.sbar")) << host.Error();
  EXPECT_NE(host.Credit().find("Melodune"), std::string::npos);
  platform::ScreenbarHostOptions options;
  options.screens = 2;
  ASSERT_TRUE(host.Start(options)) << host.Error();
  EXPECT_NE(FindTask("Melodune Connection-Slave"), nullptr);
  EXPECT_NE(FindTask("Melodune Rec-Slave"), nullptr);

  IPTR value = 0;
  ASSERT_TRUE(host.ConfigItem(CFG_PlayPen, &value));
  EXPECT_STREQ(reinterpret_cast<const char *>(value), "r00ff00");
  ASSERT_TRUE(host.ConfigItem(CFG_ShowMetaTitle, &value));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(host.ConfigItem(CFG_RecolorPlay + 1, &value));

  // The main instance (the first bar) goes: the workers go with it, and the
  // next set-up brings them back.
  ASSERT_TRUE(host.RemoveBar(0));
  EXPECT_EQ(FindTask("Melodune Connection-Slave"), nullptr);
  ASSERT_TRUE(host.CleanupBar(0));
  ASSERT_TRUE(host.SetupBar(0));
  EXPECT_NE(FindTask("Melodune Connection-Slave"), nullptr);
  host.RunFor(200);

  // The panel the host shows carries the six items and the update switch.
  Object *prefs = host.OpenPrefs();
  ASSERT_NE(prefs, nullptr);
  EXPECT_EQ(platform::PrefsGadgets(host.PrefsPanel()).size(), 7u);
  host.ClosePrefs();

  EXPECT_TRUE(host.Shutdown());
  EXPECT_EQ(FindTask("Melodune MetaInfo-Slave"), nullptr);
}

} // namespace
