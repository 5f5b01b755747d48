// Part files: names that fit in a file name whatever the output's length,
// and names reserved by the parts this process is writing, which other
// parts neither take nor report as left by a conversion that did not end.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "engine/output_names.h"
#include "engine/part_file.h"
#include "support/test_support.h"

namespace moskvid::test {
namespace {

namespace fs = std::filesystem;

std::string NameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

// True when no character of `text` is cut short.
bool WholeCharacters(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST(PartFileNames, FitInAFileNameStayApartAndAreKnownAsLeftovers) {
  LoadLibrariesOrDie();
  std::string accents;  // "é" is two bytes: the cuts fall inside one
  while (accents.size() < 242)
    accents += "\xC3\xA9";
  const std::string rows[] = {"clip_(new).mp4", std::string(240, 'a') + "_(new).mp4",
                              std::string(245, 'a') + "_(new).mp4", "xy" + accents + "_(new).mp4"};
  for (const std::string& name : rows) {
    SCOPED_TRACE(name.size());
    ScratchDir scratch;
    const std::string output = scratch.File(name);
    const std::string sibling = NumberedFileName(output, 1);
    const std::string failed = FailedFileName(output);
    EXPECT_NE(PartFileName(output), PartFileName(sibling));
    EXPECT_NE(failed, FailedFileName(sibling));
    EXPECT_LE(NameOf(failed).size(), 255u);
    EXPECT_TRUE(WholeCharacters(NameOf(PartFileName(output))));
    EXPECT_TRUE(WholeCharacters(NameOf(failed)));
    if (name == rows[0]) {
      EXPECT_EQ(NameOf(failed), "clip_(new).failed.mp4");
    }

    std::vector<std::string> inTheWay;
    std::string reason;
    auto part = std::make_unique<TPartFile>(output);
    ASSERT_TRUE(part->Create(inTheWay, reason)) << reason;
    EXPECT_EQ(part->Output(), output);
    EXPECT_EQ(part->Part(), PartFileName(output));
    // What a killed run leaves is named at the next start.
    part.reset();
    EXPECT_EQ(LeftoverPartsIn(scratch.Path()), std::vector<std::string>{PartFileName(output)});
    part = std::make_unique<TPartFile>(output);
    inTheWay.clear();
    ASSERT_TRUE(part->Create(inTheWay, reason)) << reason;
    EXPECT_EQ(inTheWay, std::vector<std::string>{PartFileName(output)});
    part->Close();
    EXPECT_EQ(part->Publish(true, reason), FailedFileName(part->Output())) << reason;
    EXPECT_EQ(LeftoverPartsIn(scratch.Path()), std::vector<std::string>{PartFileName(output)});
  }
}

TEST(PartFileReservations, LivePartsAreSkippedSilentlyAndTheirNamesNeverTaken) {
  LoadLibrariesOrDie();
  for (const bool failed : {false, true}) {
    SCOPED_TRACE(failed);
    ScratchDir scratch;
    const std::string wanted = scratch.File("clip_(new).mp4");
    std::vector<std::string> inTheWay;
    std::string reason;
    TPartFile a(wanted), b(wanted);
    ASSERT_TRUE(a.Create(inTheWay, reason)) << reason;
    ASSERT_TRUE(b.Create(inTheWay, reason)) << reason;
    EXPECT_NE(a.Output(), b.Output());
    EXPECT_EQ(inTheWay, std::vector<std::string>{});
    // A part on disk that no live part holds is reported.
    const std::string stale = PartFileName(NumberedFileName(wanted, 2));
    std::ofstream(stale) << "left";
    TPartFile c(wanted);
    ASSERT_TRUE(c.Create(inTheWay, reason)) << reason;
    EXPECT_EQ(inTheWay, std::vector<std::string>{stale});
    // A's names appear meanwhile: it goes past the names B and C hold.
    std::ofstream(a.Output()) << "someone else's";
    std::ofstream(FailedFileName(a.Output())) << "someone else's";
    a.Close();
    const std::string published = a.Publish(failed, reason);
    EXPECT_NE(published, "") << reason;
    for (const TPartFile* other : {&b, &c}) {
      EXPECT_NE(published, other->Output());
      EXPECT_NE(published, FailedFileName(other->Output()));
    }
    b.Close();
    const std::string own = failed ? FailedFileName(b.Output()) : b.Output();
    EXPECT_EQ(b.Publish(failed, reason), own) << reason;
  }
}

TEST(PartFileReservations, PartsCreatedAtOnceGetDistinctNamesAndReportNothing) {
  LoadLibrariesOrDie();
  ScratchDir scratch;
  constexpr size_t kParts = 6;
  std::vector<std::unique_ptr<TPartFile>> parts;
  for (size_t i = 0; i < kParts; ++i)
    parts.push_back(std::make_unique<TPartFile>(scratch.File("clip_(new).mp4")));
  std::array<std::vector<std::string>, kParts> inTheWay;
  std::array<bool, kParts> created{};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < kParts; ++i) {
    threads.emplace_back([&, i] {
      std::string reason;
      created[i] = parts[i]->Create(inTheWay[i], reason);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  std::set<std::string> outputs;
  for (size_t i = 0; i < kParts; ++i) {
    EXPECT_TRUE(created[i]);
    EXPECT_EQ(inTheWay[i], std::vector<std::string>{});
    outputs.insert(parts[i]->Output());
  }
  EXPECT_EQ(outputs.size(), kParts);
}

}  // namespace
}  // namespace moskvid::test
