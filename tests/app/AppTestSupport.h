// The real desktop window under Qt's offscreen platform, with an in-memory
// settings store, and a way to answer the modal windows it opens.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/qt/MainWindow.h"
#include "app/qt/TrellisApp.h"
#include "support/MemoryStore.h"

// Calls `act` with the next shown modal window that `wanted` accepts (any,
// when not given); a test fails if none appears within a generous time.
void OnNextModal(std::function<void(QWidget*)> act, std::function<bool(QWidget*)> wanted = {});
// The same for the next message box.
void OnNextMessageBox(std::function<void(QWidget*)> act);
// Fails the test for every watcher still waiting, and drops them.
void CancelModalWatchers();
// Lets queued calls and repaints run for a while.
void Pump(int ms = 50);
// With KESTON_SCREENSHOT_DIR set, the whole window as a PNG there.
void SaveWindowIfAsked(QWidget* window, const char* name);

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Builds the program's objects and shows the window, with what the store
  // holds at that moment.
  void Start();

  MemoryStore store;
  std::unique_ptr<CTrellisApp> app;
  MainWindow* window = nullptr;
};
