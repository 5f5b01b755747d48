// Every window by keyboard: unique mnemonics in each window and each menu,
// the menu bar's Alt keys.
#include <QAbstractButton>
#include <QGroupBox>
#include <QTabWidget>
#include <QTest>
#include <map>

#include "app/dialogs/directory.h"
#include "app/dialogs/win_crop.h"
#include "app/dialogs/win_file_info.h"
#include "app/dialogs/win_preference.h"
#include "app/dialogs/win_settings.h"
#include "app/dialogs/win_trim.h"
#include "app/dialogs/win_water_mark.h"
#include "app/main/win_about.h"
#include "app/window_test_support.h"

namespace moskvid::test {

namespace {

// Collects who answers to which Alt letter; two owners of one letter make
// Qt only move the focus between them.
class MnemonicOwners {
 public:
  void Note(const QString& text, const QString& owner) {
    const QKeySequence key = QKeySequence::mnemonic(text);
    if (key.isEmpty()) return;
    owners_[key[0].key()] << owner + " \"" + text + "\"";
  }
  QStringList Clashes() const {
    QStringList clashes;
    for (const auto& [key, owners] : owners_)
      if (owners.size() > 1) clashes << owners.join(" and ");
    return clashes;
  }

 private:
  std::map<int, QStringList> owners_;
};

// The clashes among what a window shows: its menu bar, buttons, tabs and
// the labels that lead to a field.
QStringList WindowClashes(QWidget& window) {
  MnemonicOwners owners;
  if (auto* main = qobject_cast<QMainWindow*>(&window)) {
    for (QAction* menu : main->menuBar()->actions())
      if (menu->isVisible()) owners.Note(menu->text(), "menu");
  }
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
    if (button->isVisibleTo(&window)) owners.Note(button->text(), button->objectName());
  for (QLabel* label : window.findChildren<QLabel*>())
    if (label->buddy() && label->isVisibleTo(&window)) owners.Note(label->text(), "label");
  for (QGroupBox* group : window.findChildren<QGroupBox*>())
    if (group->isVisibleTo(&window)) owners.Note(group->title(), group->objectName());
  for (QTabWidget* tabs : window.findChildren<QTabWidget*>())
    for (int i = 0; i < tabs->count(); ++i)
      owners.Note(tabs->tabText(i), "tab");
  return owners.Clashes();
}

QStringList MenuClashes(QMenu& menu) {
  emit menu.aboutToShow();  // as it opens: some entries hide
  MnemonicOwners owners;
  for (QAction* action : menu.actions())
    if (action->isVisible() && !action->isSeparator()) owners.Note(action->text(), "entry");
  return owners.Clashes();
}

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryWindowAndMenuHasUniqueMnemonics() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    TfrmMain& window = fixture.Window();
    TGlobalObject& global = window.Global();
    std::vector<std::unique_ptr<QWidget>> dialogs;
    dialogs.emplace_back(new TfrmProgress(window, &window));
    dialogs.emplace_back(new TfrmAbout("Moskvid", " ver 1.32 ", "https://example.org/",
                                       fixture.services, 0, &window));
    dialogs.emplace_back(new TfrmSettings(global, &window));
    dialogs.emplace_back(new TfrmPreference(
        global, fixture.services, [] { return QString(); }, &window));
    dialogs.emplace_back(new TfmDirectory(fixture.services, "Moskvid", &window));
    dialogs.emplace_back(new TfrmTrim(fixture.services, &window));
    dialogs.emplace_back(new TfrmCrop(&window));
    dialogs.emplace_back(new TfrmFileInfo([](const std::string&) {}, &window));
    dialogs.emplace_back(new TfrmWaterMark(fixture.services, &window));
    QStringList clashes;
    for (const QString& clash : WindowClashes(window))
      clashes << "frmMain: " + clash;
    for (const auto& dialog : dialogs) {
      for (const QString& clash : WindowClashes(*dialog))
        clashes << dialog->objectName() + ": " + clash;
    }
    for (QMenu* menu : {window.mnuFile, window.mnuEdit, window.mnuTools, window.mnuSkin,
                        window.mnuHelp, window.pmFiles}) {
      for (const QString& clash : MenuClashes(*menu))
        clashes << menu->objectName() + ": " + clash;
    }
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
  }

  void AltKeysOpenTheirMenus() {
    WindowFixture fixture;
    TfrmMain& window = fixture.Window();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const std::pair<Qt::Key, QMenu*> menus[] = {{Qt::Key_F, window.mnuFile},
                                                {Qt::Key_E, window.mnuEdit},
                                                {Qt::Key_T, window.mnuTools},
                                                {Qt::Key_H, window.mnuHelp}};
    for (const auto& [key, menu] : menus) {
      QTest::keyClick(&window, key, Qt::AltModifier);
      QTRY_VERIFY2_WITH_TIMEOUT(menu->isVisible(), qPrintable(menu->objectName()), 2000);
      menu->close();
      QTRY_VERIFY(!menu->isVisible());
    }
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::KeyboardTest)

#include "keyboard_test.moc"
