#include "platform/qt/QtSettingsStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace tellix {

std::string QtSettingsStore::FilePath(const std::string& appName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return (folder + "/Tellix/" + QString::fromStdString(appName) + ".ini").toStdString();
}

std::string QtSettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                        const std::string& key, const std::string& defaultValue)
{
    QSettings store(QString::fromStdString(FilePath(appName)), QSettings::IniFormat);
    store.beginGroup(QString::fromStdString(section));
    const QVariant value = store.value(QString::fromStdString(key));
    if (!value.isValid()) {
        return defaultValue;
    }
    return value.toString().toStdString();
}

void QtSettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                  const std::string& value)
{
    QSettings store(QString::fromStdString(FilePath(appName)), QSettings::IniFormat);
    store.beginGroup(QString::fromStdString(section));
    store.setValue(QString::fromStdString(key), QString::fromStdString(value));
    store.endGroup();
    store.sync();
}

} // namespace tellix
