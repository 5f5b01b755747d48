// The main window and its file list: start-up state, adding, removing,
// checking, the menus, the list's own drawing and the skins.
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <filesystem>

#include "app/main/files_list_delegate.h"
#include "app/window_test_support.h"

namespace moskvid::test {

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // The colour at a point of a list row, from the list's own drawing.
  static QRgb RowPixel(TFilesListView& list, int row, int x, int dy) {
    const QRect rect = list.visualItemRect(list.topLevelItem(row));
    const QImage image = list.viewport()->grab().toImage();
    return image.pixel(x, rect.top() + dy) & 0xFFFFFF;
  }

 private slots:
  void StartsAsDescribed() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(7);
    TfrmMain& window = fixture.Window();
    QCOMPARE(window.windowTitle(), QString("Moskvid ver 1.32 "));
    QCOMPARE(window.size(), QSize(786, 534));
    QCOMPARE(window.cbOutputFormat->count(), 14);
    QCOMPARE(window.cbOutputFormat->itemText(12), QString("WMA - Windows Meida Audio (*.wma)"));
    QCOMPARE(window.cbOutputFormat->currentIndex(), 7);
    QCOMPARE(window.cbOutputFormat->maxVisibleItems(), 14);
    QCOMPARE(window.edDirectory->text(), Q(fixture.scratch.File("out")));
    QVERIFY(window.imgbtnPlay->isEnabled());
    QVERIFY(!window.imgbtnPause->isEnabled());
    QVERIFY(!window.imgbtnStop->isEnabled());
    QVERIFY(!window.imgbtnSnap->isEnabled());
    QVERIFY(window.PreviewStopped());
    QCOMPARE(window.lvFiles->ListStyle(), vsList);
    QVERIFY(window.lvFiles->isHeaderHidden());
    QVERIFY(!window.btnStart->isEnabled());
    QVERIFY(!window.btnStop->isVisible());
    QVERIFY(window.Timer1->isActive());
    QCOMPARE(window.Timer1->interval(), 500);
    QStringList titles;
    for (QAction* menu : window.menuBar()->actions())
      titles << menu->text();
    QCOMPARE(titles, QStringList({"&File", "&Edit", "&Tools", "&Help"}));
    // A changed format is stored at once; so is the folder text.
    window.cbOutputFormat->setCurrentIndex(9);
    QCOMPARE(fixture.settings->OutputFormat(), 9);
    window.edDirectory->setText(Q(fixture.scratch.File("elsewhere")));
    QCOMPARE(Q(fixture.settings->OutputFolder()), Q(fixture.scratch.File("elsewhere")));
  }

  void AddsFilesWithTheirColumns() {
    WindowFixture fixture;
    const std::string clip = fixture.Copy("mpeg4_mp3_720p.avi", "name.avi");
    const std::string broken = fixture.Copy("random.mp4", "broken.mp4");
    fixture.Add({Q(clip), Q(fixture.scratch.Path()), Q(broken), Q(clip)});
    TfrmMain& window = fixture.Window();
    TFilesListView& list = *window.lvFiles;
    QCOMPARE(list.Count(), 1);  // no folder, no broken file, no second copy
    QCOMPARE(list.ListStyle(), vsReport);
    QCOMPARE(list.columnCount(), 6);
    QCOMPARE(list.headerItem()->text(4), QString("Destination File"));
    QCOMPARE(list.header()->sectionSize(2), 90);
    QCOMPARE(list.SubItem(0, fcSource), Q(clip));
    QCOMPARE(list.SubItem(0, fcLength), QString("3"));
    QCOMPARE(list.SubItem(0, fcTrimmedLength), QString("3"));
    QCOMPARE(list.SubItem(0, fcDestination), QString("name_(new).mp4"));
    QCOMPARE(list.SubItem(0, fcProgress), QString());
    QVERIFY(list.Checked(0));
    QCOMPARE(list.Selected(), 0);
    QCOMPARE(list.Entry(0)->Record.Duration, 3);
    QVERIFY(window.btnStart->isEnabled() && window.btnClear->isEnabled());
    const QString log = window.mmoLog->toPlainText();
    QVERIFY(log.contains("***File open error: "));
    QVERIFY(log.contains(QString::number(QFileInfo(Q(clip)).size())));
    // The dialog got the five filters and matches any case; the next one
    // opens in the folder of the last file.
    QCOMPARE(fixture.services.dialogFilters.front().count(";;"), 4);
    QVERIFY(fixture.services.dialogFilters.front().contains("*.[aA][vV][iI]"));
    fixture.Add({});
    QCOMPARE(fixture.services.dialogFolders.back(), Q(fixture.scratch.Path()));
  }

  // The Destination column shows the name Start writes: in the output
  // folder, with the format's extension, unique within the list; a change
  // of format or folder, and a run, move it on.
  void DestinationIsTheNameStartWrites() {
    WindowFixture fixture;
    fixture.settings->SetOutputFormat(9);  // MP3
    fixture.Add({Q(fixture.Copy("h264_aac.mkv", "clip.mkv")),
                 Q(fixture.Copy("mpeg4_mp3_720p.avi", "clip.avi"))});
    TfrmMain& window = fixture.Window();
    TFilesListView& list = *window.lvFiles;
    QCOMPARE(list.SubItem(0, fcDestination), QString("clip_(new).mp3"));
    QCOMPARE(list.SubItem(1, fcDestination), QString("clip_(new_1).mp3"));
    QCOMPARE(list.Entry(1)->toolTip(fcDestination),
             Q(fixture.scratch.File("out") + "/clip_(new_1).mp3"));
    list.SetChecked(0, false);  // Start names only the checked ones
    QTRY_COMPARE(list.SubItem(1, fcDestination), QString("clip_(new).mp3"));
    QCOMPARE(list.SubItem(0, fcDestination), QString("clip_(new_1).mp3"));
    list.SetChecked(0, true);
    QTRY_COMPARE(list.SubItem(0, fcDestination), QString("clip_(new).mp3"));
    window.cbOutputFormat->setCurrentIndex(11);  // WAV
    QCOMPARE(list.SubItem(1, fcDestination), QString("clip_(new_1).wav"));
    const std::string elsewhere = fixture.scratch.File("elsewhere");
    window.edDirectory->setText(Q(elsewhere));
    QCOMPARE(list.Entry(0)->toolTip(fcDestination), Q(elsewhere + "/clip_(new).wav"));
    window.btnStart->click();
    QVERIFY(std::filesystem::exists(elsewhere + "/clip_(new).wav"));
    QVERIFY(std::filesystem::exists(elsewhere + "/clip_(new_1).wav"));
    QCOMPARE(list.SubItem(0, fcDestination), QString("clip_(new_2).wav"));
    QCOMPARE(list.SubItem(1, fcDestination), QString("clip_(new_3).wav"));
  }

  // Several entries at once: Remove, Check, Uncheck and Space act on every
  // selected one; Trim acts on the current one.
  void SeveralEntriesAtOnce() {
    WindowFixture fixture;
    fixture.Add(fixture.Copies("audio.mp3", {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
    TfrmMain& window = fixture.Window();
    TFilesListView& list = *window.lvFiles;
    list.setFocus();
    list.Select(1);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(list.SelectedPositions(), (std::vector<int>{1, 2}));
    QCOMPARE(list.Selected(), 2);  // the current one
    QTest::keyClick(&list, Qt::Key_Space);
    QVERIFY(list.Checked(0) && !list.Checked(1) && !list.Checked(2) && list.Checked(3));
    window.Check1->trigger();
    QVERIFY(list.Checked(1) && list.Checked(2));
    window.Uncheck1->trigger();
    QVERIFY(list.Checked(0) && !list.Checked(1) && !list.Checked(2) && list.Checked(3));
    QString trimmed;
    fixture.services.onExec = [&](QDialog& dialog) {
      trimmed = dialog.findChild<QLabel*>("lblSourceName")->toolTip();
      dialog.reject();
    };
    window.Trim1->trigger();
    QCOMPARE(trimmed, list.SubItem(2, fcSource));
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(list.Count(), 2);
    QVERIFY(list.SubItem(1, fcSource).endsWith("d.mp3"));
    QCOMPARE(list.SelectedPositions(), (std::vector<int>{1}));
  }

  // The window grows from its designed size, the list and the preview
  // taking the room, and the next start shows it as it was left: size,
  // place, splitter, columns.
  void KeepsItsSizeAndPlace() {
    WindowFixture fixture;
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3"))});
    TfrmMain& window = fixture.Window();
    QCOMPARE(window.minimumSize(), QSize(786, 534));
    const QRect screen = window.screen()->availableGeometry();
    const QRect kept(screen.x() + 4, screen.y() + 3, screen.width() - 10, screen.height() - 8);
    const int listWidth = window.lvFiles->width();
    const int previewHeight = window.imgPreview->height();
    window.setGeometry(kept);
    QTRY_COMPARE(window.geometry(), kept);
    QVERIFY(window.lvFiles->width() >= listWidth && window.imgPreview->height() > previewHeight);
    QCOMPARE(window.lvFiles->header()->sectionPosition(fcProgress) +
                 window.lvFiles->header()->sectionSize(fcProgress),
             window.lvFiles->viewport()->width());  // the Source column takes the room
    window.splFiles->setSizes({400, 300});
    const QList<int> sizes = window.splFiles->sizes();
    window.lvFiles->setColumnWidth(fcDestination, 333);
    window.close();

    TfrmMain again(fixture.services);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.geometry(), kept);
    QCOMPARE(again.splFiles->sizes(), sizes);
    again.AddFiles({Q(fixture.scratch.File("a.mp3"))});
    WindowFixture::WaitForAdding(again);
    QCOMPARE(again.lvFiles->columnWidth(fcDestination), 333);
  }

  void RemoveClearAndTheSelection() {
    WindowFixture fixture;
    const QStringList files = fixture.Copies("h264_aac.mp4", {"a.mp4", "b.mp4", "c.mp4"});
    fixture.Add(files);
    TfrmMain& window = fixture.Window();
    TFilesListView& list = *window.lvFiles;
    QCOMPARE(list.Count(), 3);
    list.Select(2);
    QTest::mouseClick(window.btnRemove, Qt::LeftButton);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(list.Selected(), 1);  // the new last entry
    list.Select(0);
    window.Remove1->trigger();  // the File menu's Remove does the same
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.SubItem(0, fcSource), files[1]);
    QCOMPARE(list.Selected(), 0);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.ListStyle(), vsList);
    QVERIFY(list.isHeaderHidden());

    fixture.Add(files);
    QCOMPARE(list.Count(), 3);
    QTest::mouseClick(window.btnClear, Qt::LeftButton);
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.ListStyle(), vsList);
    QVERIFY(window.PreviewStopped());
  }

  void ChecksAndMenus() {
    WindowFixture fixture;
    TfrmMain& window = fixture.Window();
    emit window.mnuEdit->aboutToShow();
    QVERIFY(!window.Crop1->isEnabled() && !window.CheckAll1->isEnabled());
    QVERIFY(!window.WaterMark1->isVisible());
    const QStringList files = fixture.Copies("audio.mp3", {"a.mp3", "b.mp3", "c.mp3"});
    fixture.Add(files);
    TFilesListView& list = *window.lvFiles;
    list.SetChecked(1, false);
    emit window.mnuEdit->aboutToShow();  // as the menu opens: the commands are enabled now
    window.ReserveCheck1->trigger();
    QVERIFY(!list.Checked(0) && list.Checked(1) && !list.Checked(2));
    window.CheckAll1->trigger();
    QVERIFY(list.Checked(0) && list.Checked(1) && list.Checked(2));
    list.Select(2);
    window.Uncheck1->trigger();
    QVERIFY(list.Checked(0) && list.Checked(1) && !list.Checked(2));
    window.UncheckAll1->trigger();
    list.Select(1);
    window.Check1->trigger();
    QVERIFY(!list.Checked(0) && list.Checked(1) && !list.Checked(2));

    // A click in the check box flips the entry; elsewhere it only selects.
    const QRect row = list.visualItemRect(list.topLevelItem(0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      QPoint(row.left() + 8, row.center().y()));
    QVERIFY(list.Checked(0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      QPoint(row.left() + 60, row.center().y()));
    QVERIFY(list.Checked(0));
    QCOMPARE(list.Selected(), 0);

    emit window.mnuEdit->aboutToShow();
    QVERIFY(window.CheckAll1->isEnabled() && window.ReserveCheck1->isEnabled() &&
            window.Uncheck1->isEnabled());
    list.clearSelection();
    emit window.pmFiles->aboutToShow();
    QVERIFY(!window.Remove2->isEnabled() && !window.Start2->isEnabled() &&
            !window.Clear2->isEnabled());
    QVERIFY(!window.WaterMark2->isVisible());
    // A right-button press opens the popup where the mouse is, for the entry there.
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, row.center());
    QTRY_VERIFY(window.pmFiles->isVisible());
    QCOMPARE(list.Selected(), 0);
    QVERIFY(window.Remove2->isEnabled() && window.Clear2->isEnabled() &&
            window.Start2->isEnabled());
    window.pmFiles->close();
  }

  void DrawsRowsInTheSkinsColours() {
    WindowFixture fixture;
    const QStringList files = fixture.Copies("audio.mp3", {"a.mp3", "b.mp3", "c.mp3"});
    fixture.Add(files);
    TfrmMain& window = fixture.Window();
    TFilesListView& list = *window.lvFiles;
    list.SetChecked(2, false);
    list.Select(0);
    list.setFocus();
    QTRY_VERIFY(list.hasFocus());
    const int x = 200;  // inside the Destination column, right of its text
    QCOMPARE(RowPixel(list, 1, x, 1), 0xE2E6F6u);  // the odd row: Default's tint
    QCOMPARE(RowPixel(list, 2, x, 2), 0xFFFFFFu);  // even rows white
    QCOMPARE(RowPixel(list, 0, x, 3), 0xB9CCECu);  // selected with focus
    QCOMPARE(RowPixel(list, 0, x, 1), 0x7AA0DAu);  // its frame
    window.setFocus();
    window.btnAdd->setFocus();
    QTRY_VERIFY(!list.hasFocus());
    QCOMPARE(RowPixel(list, 0, x, 3), 0xE5ECF8u);
    QCOMPARE(RowPixel(list, 0, x, 1), 0x98B5E2u);

    // The tick of a checked entry and none for the unchecked one.
    const QImage image = list.viewport()->grab().toImage();
    const QRect checked = list.visualItemRect(list.topLevelItem(1));
    const QRect unchecked = list.visualItemRect(list.topLevelItem(2));
    const auto dark = [&](const QRect& row, int dx, int dy) {
      return qGray(image.pixel(row.left() + dx, row.top() + dy)) < 80;
    };
    QVERIFY(dark(checked, 6, 11));  // the tick's lowest point
    QVERIFY(dark(checked, 2, 9));   // the box's left side
    QVERIFY(!dark(unchecked, 6, 11));
    QVERIFY(dark(unchecked, 2, 9));

    // Orange: another tint, stored for the next start.
    window.SkinEntries[2]->trigger();
    QTRY_VERIFY(window.isVisible());
    QCOMPARE(fixture.settings->SkinIndex(), 2);
    QCOMPARE(RowPixel(list, 1, x, 1), 0xF8F2E0u);
    QCOMPARE(window.palette().color(QPalette::Window), SkinPalette(2).color(QPalette::Window));
    QVERIFY(SkinPalette(2).color(QPalette::Disabled, QPalette::WindowText) !=
            SkinPalette(2).color(QPalette::Active, QPalette::WindowText));
    // The first-show set-up ran once: the list keeps its columns and the formats their count.
    QCOMPARE(list.ListStyle(), vsReport);
    QCOMPARE(window.cbOutputFormat->count(), 14);
    emit window.mnuSkin->aboutToShow();
    QVERIFY(window.SkinEntries[2]->isChecked() && !window.SkinEntries[0]->isChecked());
  }

  void EmptyListShowsItsPicture() {
    WindowFixture fixture;
    TfrmMain& window = fixture.Window();
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(0xFF123456);
    window.lvFiles->SetEmptyPicture(picture);
    const QImage shown = window.lvFiles->viewport()->grab().toImage();
    QCOMPARE(shown.pixel(5, 5) & 0xFFFFFF, 0x123456u);
    fixture.Add({Q(fixture.Copy("audio.mp3", "a.mp3"))});
    QVERIFY((window.lvFiles->viewport()->grab().toImage().pixel(200, 5) & 0xFFFFFF) != 0x123456u);
  }

  void DroppedFilesAreAdded() {
    WindowFixture fixture;
    TfrmMain& window = fixture.Window();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(fixture.Copy("audio.mp3", "dropped.mp3"))),
                  QUrl("https://example.org/clip.mp4")});
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window.lvFiles->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window.lvFiles->viewport(), &drop);
    WindowFixture::WaitForAdding(window);
    QCOMPARE(window.lvFiles->Count(), 1);
    QVERIFY(window.lvFiles->SubItem(0, fcSource).endsWith("dropped.mp3"));
  }

  // A dropped folder gives its media files in natural order, once; a window
  // gone without closing (as when killed) leaves its list, trims and crops
  // to the next one; outputs can go beside their sources.
  void FoldersAndTheListAfterAKill() {
    WindowFixture fixture;
    RunCommand("mkdir -p " + Quote(fixture.scratch.File("season/b")) + " " +
               Quote(fixture.scratch.File("season/.hidden")));
    for (const char* name : {"season/ep10.mp3", "season/ep2.MP3", "season/b/ep1.mp3",
                             "season/.hidden/ep3.mp3", "season/notes.txt"})
      fixture.Copy("audio.mp3", name);
    const QString season = Q(fixture.scratch.File("season"));
    auto window = std::make_unique<TfrmMain>(fixture.services);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(season)});
    for (int drop = 0; drop < 2; ++drop) {  // the second adds nothing
      QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
      QCoreApplication::sendEvent(window->lvFiles->viewport(), &enter);
      QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
      QCoreApplication::sendEvent(window->lvFiles->viewport(), &event);
      WindowFixture::WaitForAdding(*window);
    }
    QStringList sources;
    for (int i = 0; i < window->lvFiles->Count(); ++i)
      sources << window->lvFiles->SubItem(i, fcSource).mid(season.size() + 1);
    QCOMPARE(sources, QStringList({"b/ep1.mp3", "ep2.MP3", "ep10.mp3"}));

    TlvFilesRecord& record = window->lvFiles->Entry(1)->Record;
    record.TrimStart = 1500;
    record.TrimLength = 2000;
    record.CropTop = 16;
    record.CropRight = 10;
    window->lvFiles->SetSubItem(1, fcTrimmedLength, "2");
    window->lvFiles->SetChecked(2, false);
    window->lvFiles->SetSubItem(0, fcProgress, "42%");  // converting when killed
    const std::string listFile = fixture.scratch.File("state/moskvid/files.list");
    QTRY_VERIFY(RunCommand("cat " + Quote(listFile)).find("Converting") != std::string::npos);
    window.reset();

    window = std::make_unique<TfrmMain>(fixture.services);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    TFilesListView& list = *window->lvFiles;
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.SubItem(0, fcProgress), QString("Stopped"));
    QCOMPARE(list.SubItem(1, fcTrimmedLength), QString("2"));
    const TlvFilesRecord& back = list.Entry(1)->Record;
    QVERIFY(back.TrimStart == 1500 && back.TrimLength == 2000 && back.CropTop == 16 &&
            back.CropRight == 10 && back.CropLeft == 0);
    QVERIFY(list.Checked(0) && list.Checked(1) && !list.Checked(2));
    QVERIFY(window->mmoLog->toPlainText().contains("did not close normally"));

    window->ckSameFolder->click();
    QCOMPARE(QFileInfo(list.Entry(0)->toolTip(fcDestination)).absolutePath(), season + "/b");
    QCOMPARE(QFileInfo(list.Entry(2)->toolTip(fcDestination)).absolutePath(), season);
    window->close();  // a normal close: the next window starts empty
    window = std::make_unique<TfrmMain>(fixture.services);
    window->show();
    QCOMPARE(window->lvFiles->Count(), 0);
  }

  void HelpPagesAndAbout() {
    WindowFixture fixture;
    TfrmMain& window = fixture.Window();
    window.Help2->trigger();
    window.WebSite1->trigger();
    window.SupportandContact1->trigger();
    QCOMPARE(fixture.services.openedUrls.size(), 3);
    QVERIFY(fixture.services.openedUrls[0].isLocalFile());
    QVERIFY(QFileInfo::exists(fixture.services.openedUrls[0].toLocalFile()));
    QCOMPARE(fixture.services.openedUrls[1].toString(), Q(window.Global().HomePage()));
    QVERIFY(fixture.services.openedUrls[2].toString().startsWith(Q(window.Global().HomePage())));
    fixture.services.onExec = [](QDialog& about) {
      QVERIFY(about.windowTitle().contains("Moskvid"));
      auto* link = about.findChild<QLabel*>("lblHomePage");
      QVERIFY(link && link->text().contains("moskvid.org"));
      QTest::mouseClick(about.findChild<QPushButton*>("btnOk"), Qt::LeftButton);
    };
    window.About->trigger();
    QCOMPARE(fixture.services.execCount, 1);
    QVERIFY(!fixture.services.watchdogFired);
  }
};

}  // namespace moskvid::test

MOSKVID_WINDOW_TEST_MAIN(moskvid::test::MainWindowTest)

#include "main_window_test.moc"
