#include "app/settings/kept_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace moskvid {
namespace {

using test::ScratchDir;

TKeptEntry Entry(const std::string& source, const std::string& state) {
  TKeptEntry entry;
  entry.Record.SourceFile = source;
  entry.Record.BatchIndex = 3;
  entry.Record.Duration = 754;
  entry.State = state;
  return entry;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What a session killed mid-run leaves, read back by the next one.
TEST(KeptList, ComesBackAfterAKillWithTrimsAndCrops) {
  ScratchDir scratch;
  const std::string folder = scratch.File("state/moskvid");
  TKeptList list;
  list.Entries.push_back(Entry("/videos/odd name\nwith a line feed\\and a backslash.mkv", "100%"));
  TKeptEntry trimmed = Entry("/videos/b.mp4", KeptState("37%"));
  trimmed.Checked = false;
  trimmed.Record.TrimStart = 12500;
  trimmed.Record.TrimLength = 60000;
  trimmed.TrimmedSeconds = 60;
  trimmed.Record.CropTop = 8;
  trimmed.Record.CropLeft = 2;
  trimmed.Record.CropBottom = 140;
  trimmed.Record.CropRight = -4;
  trimmed.Record.ZoomMode = "cent";
  trimmed.Record.AudioTrack = 2;
  list.Entries.push_back(trimmed);
  TKeptEntry failed = Entry("/videos/c.avi", "Failed");
  failed.Note = "Could not open the codec\nWhat was converted is kept as /out/c_(new).failed.mp4";
  list.Entries.push_back(failed);
  list.Entries.push_back(Entry("/videos/gone.mp4", ""));
  {
    TListKeeper keeper(folder);
    TKeptList none;
    std::vector<std::string> log;
    ASSERT_TRUE(keeper.Open(none, log));
    EXPECT_TRUE(none.Entries.empty() && none.Closed && log.empty());
    std::string reason;
    ASSERT_TRUE(keeper.Save(list, reason)) << reason;
    // While it lives, a second program neither reads nor writes the list.
    TListKeeper second(folder);
    EXPECT_FALSE(second.Open(none, log));
    EXPECT_FALSE(second.Save(TKeptList{}, reason));
    EXPECT_EQ(log.size(), 1u);
  }  // killed: never written with the closed mark
  EXPECT_FALSE(std::filesystem::exists(folder + "/files.list.new"));

  TListKeeper next(folder);
  TKeptList kept;
  std::vector<std::string> log;
  ASSERT_TRUE(next.Open(kept, log));
  EXPECT_FALSE(kept.Closed);
  ASSERT_EQ(kept.Entries.size(), 4u);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_TRUE(kept.Entries[i] == list.Entries[i]) << i;

  // Back without asking, the converting entry stopped, the gone one named.
  const auto exists = [](const std::string& path) { return path != "/videos/gone.mp4"; };
  const TRestoredList restored = RestoreKeptList(kept, false, exists);
  ASSERT_EQ(restored.Entries.size(), 3u);
  EXPECT_EQ(restored.Entries[0].State, "100%");
  EXPECT_EQ(restored.Entries[1].State, "Stopped");
  EXPECT_EQ(restored.Entries[1].Record.CropBottom, 140);
  EXPECT_EQ(restored.Entries[1].Record.TrimStart, 12500);
  EXPECT_EQ(restored.Entries[1].Record.AudioTrack, 2);
  EXPECT_EQ(restored.Entries[2].Note, failed.Note);
  ASSERT_EQ(restored.Log.size(), 2u);
  EXPECT_NE(restored.Log[0].find("did not close normally"), std::string::npos);
  EXPECT_NE(restored.Log[1].find("/videos/gone.mp4"), std::string::npos);

  // After a normal close only when the user keeps the list.
  kept.Closed = true;
  EXPECT_TRUE(RestoreKeptList(kept, false, exists).Entries.empty());
  EXPECT_EQ(RestoreKeptList(kept, true, exists).Entries.size(), 3u);
}

// An entry's sound track is kept when one is chosen; lists written before
// entries had one still load, with the automatic choice.
TEST(KeptList, TheSoundTrackIsKeptAndOlderListsLoad) {
  TKeptList list;
  list.Entries.push_back(Entry("/videos/automatic.mkv", ""));
  list.Entries.push_back(Entry("/videos/second.mkv", ""));
  list.Entries[1].Record.AudioTrack = 2;
  const std::string text = FormatKeptList(list);
  EXPECT_EQ(text.find("track="), text.rfind("track=2\n")) << text;  // only where chosen
  TKeptList back;
  std::string reason;
  ASSERT_TRUE(ParseKeptList(text, back, reason)) << reason;
  ASSERT_EQ(back.Entries.size(), 2u);
  EXPECT_TRUE(back.Entries[0] == list.Entries[0]);
  EXPECT_TRUE(back.Entries[1] == list.Entries[1]);

  const std::string older =
      "# Moskvid file list\nversion=1\nclosed=1\n[entry]\nsource=/videos/old.mp4\n"
      "checked=1\nnumbers=0,754,0,0,754\nzoom=lbox\ncrop=0,0,0,0\nstate=\nnote=\n[end]\n";
  const struct {
    const char* track;  // the line added to the older list, if any
    int expected;       // -1: the list is damaged
  } cases[] = {
      {"", 0},         {"track=0\n", 0}, {"track=3\n", 3}, {"track=-1\n", -1}, {"track=two\n", -1},
      {"track=\n", -1}};
  for (const auto& c : cases) {
    std::string lines = older;
    lines.insert(lines.find("[end]"), c.track);
    const bool parsed = ParseKeptList(lines, back, reason);
    EXPECT_EQ(parsed, c.expected >= 0) << c.track << reason;
    if (parsed && c.expected >= 0) {
      ASSERT_EQ(back.Entries.size(), 1u);
      EXPECT_EQ(back.Entries[0].Record.AudioTrack, c.expected) << c.track;
      EXPECT_EQ(back.Entries[0].Record.Duration, 754);
    }
  }
}

TEST(KeptList, ADamagedFileIsReportedAndSetAside) {
  ScratchDir scratch;
  const std::string folder = scratch.File("moskvid");
  TKeptList list;
  list.Entries.push_back(Entry("/videos/a.mp4", ""));
  const std::string whole = FormatKeptList(list);
  std::filesystem::create_directories(folder);
  // Cut short, a number out of range, an unknown key, not a list at all.
  const std::vector<std::string> damaged = {
      whole.substr(0, whole.size() / 2),
      std::string(whole).replace(whole.find("numbers=3"), 9, "numbers=99999999999"),
      std::string(whole).replace(whole.find("zoom="), 5, "zoon="),
      std::string("\x00\xff garbage", 10),
  };
  for (size_t i = 0; i < damaged.size(); ++i) {
    std::ofstream(folder + "/files.list", std::ios::binary) << damaged[i];
    TListKeeper keeper(folder);
    TKeptList kept;
    std::vector<std::string> log;
    ASSERT_TRUE(keeper.Open(kept, log)) << i;
    EXPECT_TRUE(kept.Entries.empty()) << i;
    ASSERT_EQ(log.size(), 1u) << i;
    const std::string aside =
        folder + "/files.list.damaged" + (i == 0 ? "" : "." + std::to_string(i));
    EXPECT_NE(log[0].find(aside), std::string::npos) << log[0];
    EXPECT_EQ(ReadAll(aside), damaged[i]) << i;  // kept as it was
    EXPECT_FALSE(std::filesystem::exists(folder + "/files.list")) << i;
  }
}

}  // namespace
}  // namespace moskvid
