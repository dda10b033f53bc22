// main() of every suite that shows real Qt windows.  Each run gets a HOME and
// XDG folders of its own, made fresh and removed at the end: Qt's file dialog
// remembers its history and last folder in the user's QtProject.conf, and a
// test must not behave differently on a machine where someone used one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  QTemporaryDir home(QDir::tempPath() + "/keston-qt-home-XXXXXX");
  if (!home.isValid()) return 2;
  const QByteArray root = home.path().toLocal8Bit();
  for (const char* sub : {"config", "data", "cache", "runtime"}) QDir(home.path()).mkpath(sub);
  setenv("HOME", root.constData(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
  setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
  setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
  QFile::setPermissions(home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
