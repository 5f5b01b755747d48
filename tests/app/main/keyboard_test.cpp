// Every window by keyboard and for screen readers: unique mnemonics in each
// window and each menu (so that Alt+E opens Edit, and Edit's C reaches
// Crop), a tab order that follows the layout, names for every field and
// icon-only button; the main window's keys.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QSet>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
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

// Every window of the program, the main window first; the dialogs made as
// the main window makes them.
class AllWindows {
 public:
  explicit AllWindows(WindowFixture& fixture) {
    TfrmMain& main = fixture.Window();
    TGlobalObject& global = main.Global();
    windows_.push_back(&main);
    Keep(new TfrmProgress(main, &main));
    Keep(
        new TfrmAbout("Moskvid", " ver 1.32 ", "https://example.org/", fixture.services, 0, &main));
    Keep(new TfrmSettings(global, &main));
    Keep(new TfrmPreference(
        global, fixture.services, [] { return QString(); }, &main));
    Keep(new TfmDirectory(fixture.services, "Moskvid", &main));
    Keep(new TfrmTrim(fixture.services, &main));
    Keep(new TfrmCrop(&main));
    Keep(new TfrmFileInfo([](const std::string&) {}, &main));
    Keep(new TfrmWaterMark(fixture.services, &main));
  }
  const std::vector<QWidget*>& List() const { return windows_; }

 private:
  void Keep(QWidget* dialog) {
    owned_.emplace_back(dialog);
    windows_.push_back(dialog);
  }
  std::vector<std::unique_ptr<QWidget>> owned_;
  std::vector<QWidget*> windows_;
};

// A widget Tab stops at, for the order's sake (disabled ones included): not
// the parts of a spin box, combo box or scrolled view.
bool TabStop(QWidget* widget, QWidget* window) {
  if (!(widget->focusPolicy() & Qt::TabFocus) || widget->focusProxy() ||
      !widget->isVisibleTo(window))
    return false;
  for (QWidget* up = widget->parentWidget(); up && up != window; up = up->parentWidget()) {
    if (qobject_cast<QAbstractSpinBox*>(up) || qobject_cast<QComboBox*>(up) ||
        qobject_cast<QAbstractScrollArea*>(up))
      return false;
  }
  return true;
}

void InLayoutOrder(QLayout* layout, QWidget* window, QList<QWidget*>& stops);

// The tab stops of `widget` and what it holds, as a reader meets them: a
// grid or form row by row, a box from its start, a splitter pane by pane.
void InWidgetOrder(QWidget* widget, QWidget* window, QList<QWidget*>& stops) {
  if (!widget || !widget->isVisibleTo(window)) return;
  if (TabStop(widget, window)) stops << widget;
  if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
    if (TabStop(tabs->tabBar(), window)) stops << tabs->tabBar();
    InWidgetOrder(tabs->currentWidget(), window, stops);
  } else if (auto* splitter = qobject_cast<QSplitter*>(widget)) {
    for (int i = 0; i < splitter->count(); ++i)
      InWidgetOrder(splitter->widget(i), window, stops);
  } else if (widget->layout()) {
    InLayoutOrder(widget->layout(), window, stops);
  }
}

void InLayoutOrder(QLayout* layout, QWidget* window, QList<QWidget*>& stops) {
  struct Place {
    int row, column;
    QLayoutItem* item;
  };
  std::vector<Place> places;
  for (int i = 0; i < layout->count(); ++i) {
    int row = i, column = 0, rows = 0, columns = 0;
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
      grid->getItemPosition(i, &row, &column, &rows, &columns);
    } else if (auto* form = qobject_cast<QFormLayout*>(layout)) {
      QFormLayout::ItemRole role;
      form->getItemPosition(i, &row, &role);
      column = role;
    }
    places.push_back({row, column, layout->itemAt(i)});
  }
  std::stable_sort(places.begin(), places.end(), [](const Place& a, const Place& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
  });
  for (const Place& place : places) {
    if (place.item->widget()) {
      InWidgetOrder(place.item->widget(), window, stops);
    } else if (place.item->layout()) {
      InLayoutOrder(place.item->layout(), window, stops);
    }
  }
}

QStringList Names(const QList<QWidget*>& widgets) {
  QStringList names;
  for (QWidget* widget : widgets)
    names << widget->objectName();
  return names;
}

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryWindowAndMenuHasUniqueMnemonics() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("h264_aac.mp4", "a.mp4"))});
    const AllWindows windows(fixture);
    QStringList clashes;
    for (QWidget* window : windows.List()) {
      for (const QString& clash : WindowClashes(*window))
        clashes << window->objectName() + ": " + clash;
    }
    TfrmMain& main = fixture.Window();
    for (QMenu* menu : {main.mnuFile, main.mnuEdit, main.mnuTools, main.mnuSkin, main.mnuHelp,
                        main.pmFiles, main.mnuSoundTrack}) {
      for (const QString& clash : MenuClashes(*menu))
        clashes << menu->objectName() + ": " + clash;
    }
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
  }

  // Tab goes through each window as its layout reads: a grid or a form row
  // by row, the list before the preview, the fields before the buttons
  // below them.
  void TabOrderFollowsTheLayout() {
    WindowFixture fixture;
    const AllWindows windows(fixture);
    QStringList wrong;
    for (QWidget* window : windows.List()) {
      QList<QWidget*> expected;
      auto* main = qobject_cast<QMainWindow*>(window);
      if (main) {
        InWidgetOrder(main->centralWidget(), window, expected);
      } else {
        InLayoutOrder(window->layout(), window, expected);
      }
      QList<QWidget*> chain;
      for (QWidget* next = window->nextInFocusChain(); next != window;
           next = next->nextInFocusChain()) {
        if (window->isAncestorOf(next) && TabStop(next, window)) chain << next;
      }
      if (chain != expected) {
        wrong << window->objectName() + ":\n  tab:    " + Names(chain).join(", ") +
                     "\n  layout: " + Names(expected).join(", ");
      }
    }
    for (const QString& window : wrong)
      qInfo().noquote() << window;
    QVERIFY(wrong.isEmpty());
  }

  // A screen reader can name every field (its label leads to it, or it is
  // named) and every button that shows only an icon; every caption label
  // leads to what it captions.
  void FieldsAndIconButtonsHaveNames() {
    WindowFixture fixture;
    const AllWindows windows(fixture);
    QStringList unnamed;
    for (QWidget* window : windows.List()) {
      QSet<QWidget*> labelled;
      for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->buddy()) labelled << label->buddy();
        if (label->isVisibleTo(window) && label->text().endsWith(':') && !label->buddy())
          unnamed << window->objectName() + ": the label \"" + label->text() + "\" leads nowhere";
      }
      for (QWidget* field : window->findChildren<QWidget*>()) {
        const bool input =
            qobject_cast<QLineEdit*>(field) || qobject_cast<QComboBox*>(field) ||
            qobject_cast<QAbstractSpinBox*>(field) || qobject_cast<QAbstractSlider*>(field) ||
            qobject_cast<QAbstractItemView*>(field) || qobject_cast<QPlainTextEdit*>(field);
        if (!input || !TabStop(field, window)) continue;
        if (!labelled.contains(field) && field->accessibleName().isEmpty())
          unnamed << window->objectName() + ": " + field->objectName() + " has no name";
      }
      for (QToolButton* button : window->findChildren<QToolButton*>()) {
        if (!button->isVisibleTo(window) || !button->text().isEmpty() ||
            button->focusPolicy() == Qt::NoFocus)
          continue;
        if (button->accessibleName().isEmpty() || button->toolTip().isEmpty())
          unnamed << window->objectName() + ": " + button->objectName() + " has no name or hint";
      }
    }
    for (const QString& what : unnamed)
      qInfo().noquote() << what;
    QVERIFY(unnamed.isEmpty());
  }

  // Enter plays the current entry; the Menu key and Shift+F10 open the
  // popup at it; Ctrl+O adds files, F1 opens the help page, Ctrl+Q closes.
  void MainWindowKeys() {
    WindowFixture fixture;
    fixture.Add(fixture.Copies("h264_aac.mp4", {"a.mp4", "b.mp4"}));
    TfrmMain& window = fixture.Window();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    TFilesListView& list = *window.lvFiles;
    list.setFocus();
    list.Select(1);
    QTest::keyClick(&list, Qt::Key_Return);
    QVERIFY(!window.PreviewStopped());
    QCOMPARE(window.Converter().Probe().FileName(), list.SubItem(1, fcSource).toStdString());
    const QRect row = list.visualItemRect(list.topLevelItem(1));
    const QPoint under = list.viewport()->mapToGlobal(row.bottomLeft());
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()},
          std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
      QTest::keyClick(&list, key, modifiers);
      QTRY_VERIFY(window.pmFiles->isVisible());
      QVERIFY(std::abs(window.pmFiles->pos().y() - under.y()) <= 2);
      window.pmFiles->close();
    }
    fixture.services.chosenFiles = {Q(fixture.Copy("audio.mp3", "c.mp3"))};
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    WindowFixture::WaitForAdding(window);
    QCOMPARE(list.Count(), 3);
    // Waiting let the closed popup's late activation through; the platform
    // without a display gives it back to nobody.
    QApplication::setActiveWindow(&window);
    QTest::keyClick(&window, Qt::Key_F1);
    QVERIFY(!fixture.services.openedUrls.isEmpty() &&
            fixture.services.openedUrls.back().toLocalFile().endsWith("help.html"));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!window.isVisible());
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::KeyboardTest)

#include "keyboard_test.moc"
