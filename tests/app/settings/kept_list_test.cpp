#include "app/settings/kept_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "engine/output_names.h"

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
  trimmed.Output = "/out/b_(new)\nsecond line.mp4";
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
  EXPECT_EQ(restored.Entries[1].Output, "");  // it converts no more
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

// What each kept state comes back as, after a kill and after a normal
// close alike: a conversion cut short is stopped and keeps its check, a
// converted entry is unchecked, so that Start goes on with what is left.
TEST(KeptList, StatesAndChecksComeBackSoThatStartGoesOn) {
  const struct {
    const char *state, *restored;
    bool checked, restoredChecked;
  } cases[] = {{"100%", "100%", true, false},
               {"100%", "100%", false, false},
               {"Converting", "Stopped", true, true},
               {"37%", "Stopped", true, true},
               {"Stopped", "Stopped", true, true},
               {"Failed", "Failed", true, true},
               {"", "", true, true},
               {"", "", false, false}};
  for (const bool closed : {false, true}) {
    TKeptList kept{closed, {}};
    for (const auto& c : cases) {
      kept.Entries.push_back(Entry("/videos/a.mp4", c.state));
      kept.Entries.back().Checked = c.checked;
    }
    const auto restored = RestoreKeptList(kept, true, [](const std::string&) { return true; });
    ASSERT_EQ(restored.Entries.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
      EXPECT_EQ(restored.Entries[i].State, cases[i].restored) << i;
      EXPECT_EQ(restored.Entries[i].Checked, cases[i].restoredChecked) << i << " closed " << closed;
    }
  }
}

// Named at a session's start: the leftovers where outputs go now, and just
// the part of each entry that was converting, beside its source or in a
// folder since left, a shortened one too; no link, no other part.
TEST(KeptList, TheConvertingEntriesPartsAreNamedWhereverTheyWent) {
  ScratchDir scratch;
  for (const char* folder : {"videos", "old"})
    std::filesystem::create_directories(scratch.File(folder));
  // The last output fits in a file name (252 bytes), its part does not.
  const std::vector<std::string> outputs = {
      scratch.File("videos/a_(new).mp4"), scratch.File("old/b_(new).mp4"),
      scratch.File("videos/" + std::string(242, 'l') + "_(new).mp4")};
  std::vector<std::string> parts;
  TKeptList kept;
  for (const std::string& output : outputs) {
    parts.push_back(PartFileName(output));
    std::ofstream(parts.back()) << "cut short";
    kept.Entries.push_back(Entry(output + ".source", "Converting"));
    kept.Entries.back().Output = output;
  }
  ASSERT_NE(parts.back().find('~'), std::string::npos);
  kept.Entries.push_back(kept.Entries[0]);  // a part not made before the kill
  kept.Entries.back().Output = scratch.File("videos/c_(new).mp4");
  kept.Entries.push_back(kept.Entries[0]);
  kept.Entries.back().Output = scratch.File("videos/d_(new).mp4");
  std::filesystem::create_symlink("/etc/passwd", PartFileName(kept.Entries.back().Output));
  std::ofstream(scratch.File("videos/e_(new).mp4.part")) << "not an entry's";
  std::ofstream(scratch.File("old/f_(new).mp4.part")) << "left by a run before";
  std::sort(parts.begin(), parts.end());
  EXPECT_EQ(KeptLeftoverParts(kept, ""), parts);
  // Where outputs go now, as before; a part there once.
  parts.insert(parts.begin() + 1, scratch.File("old/f_(new).mp4.part"));
  EXPECT_EQ(KeptLeftoverParts(kept, scratch.File("old")), parts);
}

// The writer takes the newest text, writes in the order texts came, tells
// each write and its failure, and loses nothing when it ends unwaited.
TEST(KeptList, TheWriterWritesTheNewestInOrder) {
  std::mutex lock;
  std::condition_variable opened;
  bool open = false;
  std::vector<int> written;  // read once the writer has told of them
  std::vector<uint64_t> told;
  std::string failure;
  auto writer = std::make_unique<TKeptListWriter>(
      [&](const std::string& text, std::string& reason) {
        std::unique_lock<std::mutex> guard(lock);
        opened.wait(guard, [&] { return open; });  // a slow disk
        reason = text == "full" ? "No space left on device" : "";
        if (reason.empty()) written.push_back(std::stoi(text));
        return reason.empty();
      },
      [&](uint64_t number, const std::string& reason) {
        told.push_back(number);
        if (!reason.empty()) failure = reason;
      });
  for (int i = 1; i <= 100; ++i)
    EXPECT_EQ(writer->Save(std::to_string(i)), uint64_t(i));
  {
    std::lock_guard<std::mutex> guard(lock);
    open = true;
  }
  opened.notify_all();
  EXPECT_EQ(writer->Wait(100), "");
  // Whichever text the first write took, the next one is the newest.
  EXPECT_TRUE(written.size() <= 2 && written.back() == 100) << written.size();
  for (int i = 101; i <= 3000; ++i)
    writer->Save(std::to_string(i));
  EXPECT_EQ(writer->Wait(writer->Save("full")), "No space left on device");
  writer->Save("3002");
  writer.reset();
  EXPECT_EQ(failure, "No space left on device");
  EXPECT_EQ(written.back(), 3002);
  EXPECT_EQ(told.back(), 3002u);
  for (size_t i = 1; i < written.size(); ++i)
    ASSERT_LT(written[i - 1], written[i]);
  for (size_t i = 1; i < told.size(); ++i)
    ASSERT_LT(told[i - 1], told[i]);

  // The keeper's thread leaves the last list handed over in the file.
  ScratchDir scratch;
  TKeptList last;
  {
    TListKeeper keeper(scratch.File("moskvid"));
    std::vector<std::string> log;
    ASSERT_TRUE(keeper.Open(last, log));
    for (int i = 0; i < 200; ++i) {
      last.Entries.push_back(Entry("/videos/" + std::to_string(i) + ".mp4", ""));
      keeper.SaveSoon(FormatKeptList(last));
    }
  }
  EXPECT_EQ(ReadAll(scratch.File("moskvid/files.list")), FormatKeptList(last));
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
