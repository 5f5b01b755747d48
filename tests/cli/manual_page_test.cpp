// The manual page of moskvid-cli and its --help text name the same commands
// and options, so that neither falls behind the other.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/test_support.h"

namespace moskvid::test {
namespace {

using Names = std::set<std::string>;

std::string ReadAll(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Names Matches(const std::string& text, const std::regex& pattern, int group) {
  Names names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
       it != std::sregex_iterator(); ++it) {
    names.insert((*it)[group].str());
  }
  return names;
}

const std::regex kOption("(--[a-z][a-z-]*)");

// Roff source as plain text: "\-" is a hyphen, font changes vanish.
std::string PlainRoff(std::string page) {
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  return std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
}

// The commands are the ".TP" entries of the COMMANDS section.
Names PageCommands(const std::string& plain) {
  const size_t start = plain.find(".SH COMMANDS");
  const size_t end = plain.find(".SH ", start + 1);
  if (start == std::string::npos) return {};
  const std::string section = plain.substr(start, end - start);
  return Matches(section, std::regex(R"(\.TP\n\.B ([a-z][a-z-]*))"), 1);
}

// The commands are the lines indented by two spaces under "Commands:".
Names HelpCommands(const std::string& help) {
  const size_t start = help.find("Commands:\n");
  if (start == std::string::npos) return {};
  return Matches(help.substr(start), std::regex(R"(\n  ([a-z][a-z-]*))"), 1);
}

std::string Missing(const Names& wanted, const Names& present) {
  std::string missing;
  for (const std::string& name : wanted) {
    if (!present.count(name)) missing += " " + name;
  }
  return missing;
}

TEST(ManualPageTest, HelpAndManualPageNameTheSameCommandsAndOptions) {
  int status = -1;
  const std::string help = RunCommand(std::string(MOSKVID_CLI) + " --help 2>&1", &status);
  ASSERT_EQ(status, 0) << help;
  const std::string page = PlainRoff(ReadAll(MOSKVID_CLI_MANUAL_PAGE));
  ASSERT_FALSE(page.empty()) << MOSKVID_CLI_MANUAL_PAGE;

  const Names helpCommands = HelpCommands(help), pageCommands = PageCommands(page);
  EXPECT_TRUE(helpCommands.count("convert") && helpCommands.count("transcode")) << help;
  EXPECT_EQ(Missing(helpCommands, pageCommands), "") << "commands of --help missing in the page";
  EXPECT_EQ(Missing(pageCommands, helpCommands), "") << "commands of the page missing in --help";

  const Names helpOptions = Matches(help, kOption, 1), pageOptions = Matches(page, kOption, 1);
  EXPECT_TRUE(helpOptions.count("--output-dir")) << help;
  EXPECT_EQ(Missing(helpOptions, pageOptions), "") << "options of --help missing in the page";
  EXPECT_EQ(Missing(pageOptions, helpOptions), "") << "options of the page missing in --help";
}

TEST(ManualPageTest, PagesCarryTheProjectVersion) {
  for (const std::string file : {MOSKVID_CLI_MANUAL_PAGE, MOSKVID_MANUAL_PAGE}) {
    const std::string page = ReadAll(file);
    const std::string header = page.substr(0, page.find('\n'));
    EXPECT_EQ(header.rfind(".TH ", 0), 0u) << file;
    EXPECT_NE(header.find("\"Moskvid " MOSKVID_VERSION "\""), std::string::npos) << header;
  }
}

}  // namespace
}  // namespace moskvid::test
