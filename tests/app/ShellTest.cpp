// The Qt shell's own duties: file-type lists, message box answers, the
// progress window, updates from another thread and the empty document.
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "AppTestSupport.h"
#include "support/qt/FileDialogAnswer.h"
#include "app/CommandTable.h"
#include "panes/MainFrame.h"
#include "app/TrellisDoc.h"
#include "app/qt/ProgressWindow.h"
#include "app/qt/QtShell.h"
#include "app/qt/ViewWidgets.h"
#include "shell/Shell.h"
#include "target/ProgressDlg.h"

TEST(QtFileFilter, ClassicListBecomesQtList) {
  EXPECT_EQ("Motorola Hex Files (*.S19);;Binary File (*.bin);;Intel Hex File (*.ihx);;All Files (*.*)",
            QtFileFilter(kProgramFileFilter).toStdString());
  // Patterns not shown in the label are added; several are joined by blanks.
  EXPECT_EQ("Text (*.txt *.log)", QtFileFilter("Text|*.txt;*.log||").toStdString());
  EXPECT_EQ("", QtFileFilter("").toStdString());
}

TEST_F(DesktopTest, MessageBoxesAnswerWithTheButtonPressedAndCloseToTheSafeAnswer) {
  Start();
  struct Case {
    int type;
    QMessageBox::StandardButton press;  // NoButton: close with Escape
    int answer;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {
      {MB_OKCANCEL, QMessageBox::Ok, IDOK, QMessageBox::Warning},
      {MB_OKCANCEL, QMessageBox::NoButton, IDCANCEL, QMessageBox::Warning},
      {MB_YESNO, QMessageBox::Yes, IDYES, QMessageBox::Question},
      {MB_YESNO, QMessageBox::NoButton, IDNO, QMessageBox::Question},
      {MB_OK | MB_ICONERROR, QMessageBox::NoButton, IDOK, QMessageBox::Critical},
  };
  for (const Case& c : cases) {
    QStringList buttons;
    OnNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(nullptr, box);
      EXPECT_EQ(c.icon, box->icon());
      EXPECT_EQ("KESTON Flash", box->windowTitle().toStdString());
      for (QAbstractButton* b : box->buttons()) buttons << b->text();
      if (c.press == QMessageBox::NoButton)
        QTest::keyClick(box, Qt::Key_Escape);
      else
        box->button(c.press)->click();
    });
    EXPECT_EQ(c.answer, AfxMessageBox("Erase Program?", c.type)) << c.type;
    EXPECT_EQ((c.type & MB_BUTTONMASK) == MB_OK ? 1 : 2, buttons.size());
  }
}

TEST_F(DesktopTest, ProgressWindowShowsTheModelWithoutCaption) {
  Start();
  {
    CProgressDlg progress;
    ASSERT_TRUE(progress.Create());
    ProgressWindow* w = app->GetShell().Progress(progress);
    ASSERT_NE(nullptr, w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    // Its one button is Cancel.
    ASSERT_EQ(1, w->findChildren<QAbstractButton*>().size());
    EXPECT_EQ("Cancel", w->m_cancel->text().toStdString());
    EXPECT_EQ("", w->m_label->text().toStdString());
    EXPECT_EQ("", w->m_address->text().toStdString());

    // A range wider than 16 bits still maps onto the bar.
    progress.SetRange(0x8000, 0x18000);
    progress.SetPos(0x10000);
    progress.SetLabel("Reading Memory");
    progress.SetAddress(0x100, true);
    progress.SetValue(5, true);
    EXPECT_EQ(0x8000, w->m_bar->minimum());
    EXPECT_EQ(0x18000, w->m_bar->maximum());
    EXPECT_EQ(0x10000, w->m_bar->value());
    EXPECT_EQ("Reading Memory", w->m_label->text().toStdString());
    EXPECT_EQ("0x 100", w->m_address->text().toStdString());
    EXPECT_EQ("0x 5", w->m_value->text().toStdString());
  }
  for (QWidget* top : QApplication::topLevelWidgets()) EXPECT_EQ(nullptr, qobject_cast<ProgressWindow*>(top));
}

TEST_F(DesktopTest, ErrorLinesFromAnotherThreadReachThePaneThroughTheUiThread) {
  Start();
  CListDisp* pane = app->Frame()->Pane(PANE_COMM_ERR);
  ListDispWidget* w = window->PaneWidget(PANE_COMM_ERR);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 40; ++i) pane->AddLine("<CE-A-" + std::to_string(i) + ">");
    done = true;
  });
  // Drawing goes on meanwhile, as it does while the receive thread reports.
  while (!done) {
    w->viewport()->repaint();
    app->GetShell().DispatchPendingEvent();
  }
  writer.join();
  Pump(50);
  EXPECT_EQ(40, pane->Count());
  EXPECT_EQ(40 * 18 - w->viewport()->height(), w->verticalScrollBar()->value());
}

TEST_F(DesktopTest, DispatchPendingEventRunsQueuedWorkWithoutWaiting) {
  Start();
  Pump(50);
  bool ran = false;
  QMetaObject::invokeMethod(
      window, [&] { ran = true; }, Qt::QueuedConnection);
  int rounds = 0;
  while (!ran && rounds++ < 100) app->GetShell().DispatchPendingEvent();
  EXPECT_TRUE(ran);
  // From another thread it refuses rather than touching the UI's events.
  bool fromThread = true;
  std::thread([&] { fromThread = app->GetShell().DispatchPendingEvent(); }).join();
  EXPECT_FALSE(fromThread);
}

TEST_F(DesktopTest, EmptyDocumentSavesOpensAndRemembersFourRecentFiles) {
  Start();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto answerFile = [](const QString& path) {
    OnNextModal(
        [path](QWidget* w) {
          auto* dialog = qobject_cast<QFileDialog*>(w);
          ASSERT_NE(nullptr, dialog);
          AnswerFileDialog(dialog, path);
        },
        [](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; });
  };
  EXPECT_EQ("KESTON Flash - KESTON Flash", window->windowTitle().toStdString());

  // Save on a new document asks for a name and writes a file without content.
  const QString first = dir.filePath("first.ksf");
  answerFile(first);
  window->RunCommand(ID_FILE_SAVE);
  ASSERT_TRUE(QFile::exists(first));
  EXPECT_EQ(0, QFile(first).size());
  EXPECT_EQ("first.ksf - KESTON Flash", window->windowTitle().toStdString());
  EXPECT_EQ(first.toStdString(), store.GetProfileString("Recent File List", "File1", ""));

  for (const char* name : {"b.ksf", "c.ksf", "d.ksf", "e.ksf"}) {
    answerFile(dir.filePath(name));
    window->RunCommand(ID_FILE_SAVE_AS);
  }
  EXPECT_EQ(dir.filePath("e.ksf").toStdString(), store.GetProfileString("Recent File List", "File1", ""));
  EXPECT_EQ(dir.filePath("b.ksf").toStdString(), store.GetProfileString("Recent File List", "File4", ""));
  EXPECT_EQ("&1 e.ksf", window->Action(ID_FILE_MRU_FILE1)->text().toStdString());
  EXPECT_TRUE(window->Action(ID_FILE_MRU_FILE1 + 3)->isVisible());

  // A recent file that has gone is reported and leaves the list.
  QFile::remove(dir.filePath("c.ksf"));
  std::string message;
  OnNextMessageBox([&](QWidget* w) {
    message = qobject_cast<QMessageBox*>(w)->text().toStdString();
    qobject_cast<QMessageBox*>(w)->accept();
  });
  window->RunCommand(ID_FILE_MRU_FILE1 + 2);  // e, d, c, b
  EXPECT_NE(std::string::npos, message.find("c.ksf"));
  EXPECT_EQ("e.ksf - KESTON Flash", window->windowTitle().toStdString());
  EXPECT_EQ(3u, app->RecentFiles().Files().size());
  EXPECT_FALSE(window->Action(ID_FILE_MRU_FILE1 + 3)->isVisible());

  window->RunCommand(ID_FILE_MRU_FILE1 + 2);  // now b
  EXPECT_EQ("b.ksf - KESTON Flash", window->windowTitle().toStdString());

  // Saving where no file can be written says so.
  answerFile(dir.filePath("missing-folder/x.ksf"));
  message.clear();
  OnNextMessageBox([&](QWidget* w) {
    message = qobject_cast<QMessageBox*>(w)->text().toStdString();
    qobject_cast<QMessageBox*>(w)->accept();
  });
  window->RunCommand(ID_FILE_SAVE_AS);
  EXPECT_NE(std::string::npos, message.find("Cannot save"));
  EXPECT_EQ("b.ksf - KESTON Flash", window->windowTitle().toStdString());

  window->RunCommand(ID_FILE_NEW);
  EXPECT_EQ("KESTON Flash - KESTON Flash", window->windowTitle().toStdString());
}

TEST_F(DesktopTest, PrintingDrawsTheStatusLineOntoThePage) {
  Start();
  QTemporaryDir dir;
  const QString pdf = dir.filePath("view.pdf");
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  window->PrintTo(printer);
  EXPECT_GT(QFile(pdf).size(), 0);
}
