// TGlobalObject: the application-wide paths and texts, and the default
// folders and files of the platform.
#pragma once

#include <string>

namespace moskvid {

// "$HOME/moskvid": the default output and snapshot folder.
std::string DefaultOutputFolder();
// What decides where moskvid.ini lives.
struct TConfigPlaces {
  std::string Named;             // MOSKVID_CONFIG
  std::string ExecutableFolder;  // with a trailing '/'
  bool ExecutableFolderWritable = false;
  bool Installed = false;  // the program runs from the install program folder
  std::string XdgConfigHome;
  std::string Home;
};
// `Named` when set; else "moskvid.ini" beside the executable when that folder
// is writable and not the install program folder; else $XDG_CONFIG_HOME/moskvid/moskvid.ini
// (HOME/.config when unset).
std::string ChooseConfigFile(const TConfigPlaces& places);
// ChooseConfigFile for the running program and its environment.
std::string DefaultConfigFile();
// "moskvidformat.ini" beside the executable, else in the install data folder.
std::string DefaultProfileFile();

class TGlobalObject {
 public:
  TGlobalObject();

  const std::string& HelpPage() const { return helpPage_; }
  const std::string& ConfigFile() const { return configFile_; }
  const std::string& ProfileFile() const { return profileFile_; }
  const std::string& AppTitle() const { return appTitle_; }
  const std::string& AppVersion() const { return appVersion_; }
  const std::string& HomePage() const { return homePage_; }

  // Each setter keeps the old value when the new one breaks its rule.
  void SetHelpPage(const std::string& value);     // not empty
  void SetConfigFile(const std::string& value);   // longer than 3 characters
  void SetProfileFile(const std::string& value);  // longer than 3 characters
  void SetAppTitle(const std::string& value);     // not empty
  void SetAppVersion(const std::string& value);   // not empty
  void SetHomePage(const std::string& value);     // not empty

  // The main window's caption: title and version.
  std::string Caption() const { return appTitle_ + appVersion_; }

  // The last `count` characters of `text` (all of it when shorter).
  static std::string LastChars(const std::string& text, size_t count);

 private:
  std::string helpPage_;
  std::string configFile_;
  std::string profileFile_;
  std::string appTitle_ = "Moskvid";
  std::string appVersion_ = " ver 1.32 ";
  std::string homePage_ = "https://moskvid.org/";
};

}  // namespace moskvid
