#include "adapters/settings/qsettings_store.h"

#include <QSettings>
#include <QString>

#include "platform/failure.h"

namespace tidewell {

namespace {

constexpr const char* kOrganization = "Marrowby";

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString GroupKey(const std::string& section, const std::string& key) {
  return Q(section) + QLatin1Char('/') + Q(key);
}

void Check(const QSettings& settings) {
  switch (settings.status()) {
    case QSettings::NoError:
      return;
    case QSettings::AccessError:
      throw Failure("The settings file '" + settings.fileName().toStdString() +
                    "' cannot be written.");
    case QSettings::FormatError:
      throw Failure("The settings file '" + settings.fileName().toStdString() +
                    "' is not a settings file.");
  }
}

}  // namespace

std::string QSettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                       const std::string& key, const std::string& defaultValue) {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganization, Q(appName));
  Check(settings);
  const QVariant value = settings.value(GroupKey(section, key));
  if (!value.isValid()) return defaultValue;
  return value.toString().toStdString();
}

std::optional<std::vector<std::string>> QSettingsStore::Keys(const std::string& appName,
                                                             const std::string& section) {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganization, Q(appName));
  Check(settings);
  settings.beginGroup(Q(section));
  std::vector<std::string> keys;
  for (const QString& key : settings.childKeys()) keys.push_back(key.toStdString());
  return keys;
}

void QSettingsStore::SaveSetting(const std::string& appName, const std::string& section,
                                 const std::string& key, const std::string& value) {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, kOrganization, Q(appName));
  settings.setValue(GroupKey(section, key), Q(value));
  settings.sync();
  Check(settings);
}

}  // namespace tidewell
