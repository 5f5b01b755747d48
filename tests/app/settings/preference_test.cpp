// The preferences' rules and the mount table, without windows.
#include <gtest/gtest.h>

#include "app/settings/global_object.h"
#include "app/settings/mount_table.h"
#include "app/settings/preference_rules.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

const char kMounts[] =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "40 22 11:0 / /media/cdrom ro,relatime shared:20 - iso9660 /dev/sr0 ro\n"
    "41 22 11:1 / /media/dvd\\040disc ro shared:21 - udf /dev/sr1 ro\n"
    "42 40 0:50 / /media/cdrom/rw rw shared:22 - tmpfs tmpfs rw\n"
    "43 22 0:51 / /home rw - btrfs /dev/sda2 rw\n";

TEST(MountTable, TheLongestMountPointHoldsThePath) {
  EXPECT_EQ(FileSystemTypeOf("/home/user/videos", kMounts), "btrfs");
  EXPECT_EQ(FileSystemTypeOf("/media/cdrom", kMounts), "iso9660");
  EXPECT_EQ(FileSystemTypeOf("/media/cdrom/films", kMounts), "iso9660");
  EXPECT_EQ(FileSystemTypeOf("/media/cdrom/rw/x", kMounts), "tmpfs");
  EXPECT_EQ(FileSystemTypeOf("/media/cdromx", kMounts), "ext4");     // only a common prefix
  EXPECT_EQ(FileSystemTypeOf("/media/dvd disc/a", kMounts), "udf");  // \040 is a blank
  EXPECT_TRUE(OnOpticalDisc("/media/cdrom/films", kMounts));
  EXPECT_TRUE(OnOpticalDisc("/media/dvd disc", kMounts));
  EXPECT_FALSE(OnOpticalDisc("/media/cdrom/rw", kMounts));
  EXPECT_FALSE(OnOpticalDisc("/tmp", kMounts));
  EXPECT_EQ(FileSystemTypeOf("/tmp", "garbage line\n"), "");
  // The machine's own table names the root's type.
  EXPECT_FALSE(FileSystemTypeOf("/", SystemMountTable()()).empty());
}

TEST(PreferenceRules, ShownStoredAndDefault) {
  ScratchDir scratch;
  TAppSettings settings(scratch.File("moskvid.ini"));
  const TPreferences fresh = LoadPreferences(settings);
  EXPECT_EQ(fresh.SnapshotFolder, DefaultOutputFolder());
  EXPECT_TRUE(fresh.FullSize && fresh.SmallSize && fresh.Bmp && fresh.Jpg);
  EXPECT_EQ(fresh.Quality, 30);
  EXPECT_EQ(fresh.Priority, 1);

  TPreferences chosen = DefaultPreferences();
  EXPECT_EQ(chosen.Quality, 20);
  EXPECT_FALSE(chosen.Jpg || chosen.SmallSize);
  chosen.SnapshotFolder.clear();
  chosen.Priority = 3;
  StorePreferences(settings, chosen);
  const TIniFile ini(scratch.File("moskvid.ini"));
  EXPECT_EQ(ini.ReadString("settings", "SnapOutPutDir", ""), DefaultOutputFolder());
  EXPECT_EQ(ini.ReadInteger("settings", "jpgCmp", 0), 20);
  EXPECT_EQ(ini.ReadInteger("settings", "snapJpg", -1), 0);
  EXPECT_EQ(ini.ReadInteger("settings", "snapSmallSize", -1), 0);
  EXPECT_EQ(ini.ReadInteger("settings", "Priority", -1), 3);
  const TPreferences back = LoadPreferences(settings);
  EXPECT_FALSE(back.Jpg);
  EXPECT_TRUE(back.Bmp);
  // A quality of 0 is not stored.
  chosen.Quality = 0;
  StorePreferences(settings, chosen);
  EXPECT_EQ(ini.ReadInteger("settings", "jpgCmp", 0), 20);
  EXPECT_FALSE(MayClear(false));
  EXPECT_TRUE(MayClear(true));
}

}  // namespace
}  // namespace moskvid::test
