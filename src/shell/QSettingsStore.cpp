#include "shell/QSettingsStore.h"

#include <QSettings>
#include <QString>

namespace {
QString KeyOf(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + "/" + QString::fromStdString(key);
}
}  // namespace

QSettingsStore::QSettingsStore() : m_settings(new QSettings("KESTON_FLASH", "KESTON Flash")) {}

QSettingsStore::QSettingsStore(const std::string& iniPath)
    : m_settings(new QSettings(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

QSettingsStore::~QSettingsStore() = default;

int QSettingsStore::GetProfileInt(const std::string& section, const std::string& key, int defaultValue) {
  QVariant v = m_settings->value(KeyOf(section, key));
  if (!v.isValid()) return defaultValue;
  bool ok = false;
  int n = v.toInt(&ok);
  return ok ? n : defaultValue;
}

bool QSettingsStore::WriteProfileInt(const std::string& section, const std::string& key, int value) {
  m_settings->setValue(KeyOf(section, key), value);
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
}

std::string QSettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                             const std::string& defaultValue) {
  QVariant v = m_settings->value(KeyOf(section, key));
  if (!v.isValid()) return defaultValue;
  return v.toString().toStdString();
}

bool QSettingsStore::WriteProfileString(const std::string& section, const std::string& key,
                                        const std::string& value) {
  m_settings->setValue(KeyOf(section, key), QString::fromStdString(value));
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
}

std::string QSettingsStore::Location() const { return m_settings->fileName().toStdString(); }
