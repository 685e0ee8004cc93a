#include "platform/qtcore/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tellix {

namespace {

// Makes the folders up to `folder` that are missing, each with mode 0700.
void MakeFolders(const QString& folder)
{
    if (folder.isEmpty() || QFileInfo::exists(folder)) {
        return;
    }
    MakeFolders(QFileInfo(folder).path());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
}

// Where no secret store answers, the file holds passwords: only the user may read it. QSettings
// writes a new file through QSaveFile, which gives it the old one's mode, or 0666 less the
// umask when there is none; so the file is made 0600 first, before anything is written into it.
void MakePrivate(const QString& file)
{
    MakeFolders(QFileInfo(file).path());
    const int descriptor = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return; // QSettings reports what cannot be written
    }
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 07777) != 0600) {
        ::fchmod(descriptor, 0600);
    }
    ::close(descriptor);
}

} // namespace

std::string QtSettingsStore::FilePath(const std::string& appName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return (folder + "/Tellix/" + QString::fromStdString(appName) + ".ini").toStdString();
}

std::string QtSettingsStore::GetSetting(const std::string& appName, const std::string& section,
                                        const std::string& key, const std::string& defaultValue)
{
    const std::string path = FilePath(appName);
    QSettings store(QString::fromStdString(path), QSettings::IniFormat);
    if (Damaged(path, store.status())) {
        return defaultValue;
    }
    store.beginGroup(QString::fromStdString(section));
    const QVariant value = store.value(QString::fromStdString(key));
    if (!value.isValid()) {
        return defaultValue;
    }
    // Qt reads commas outside quotes as a list; a hand-edited "#a,#b key" means the text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    }
    return value.toString().toStdString();
}

void QtSettingsStore::SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                                  const std::string& value)
{
    const std::string path = FilePath(appName);
    if (damaged_.erase(path) != 0) {
        // What could not be read is not carried over: the file starts again from what is written.
        const QString file = QString::fromStdString(path);
        if (QFileInfo(file).isDir()) {
            QDir().rmdir(file);
        } else {
            QFile::remove(file);
        }
    }
    MakePrivate(QString::fromStdString(path));
    QSettings store(QString::fromStdString(path), QSettings::IniFormat);
    store.beginGroup(QString::fromStdString(section));
    store.setValue(QString::fromStdString(key), QString::fromStdString(value));
    store.endGroup();
    store.sync();
    if (store.status() != QSettings::NoError && !reported_) {
        reported_ = true;
        std::fprintf(stderr, "tellix: the settings could not be written to %s\n", path.c_str());
    }
}

void QtSettingsStore::RemoveSection(const std::string& appName, const std::string& section)
{
    const std::string path = FilePath(appName);
    QSettings store(QString::fromStdString(path), QSettings::IniFormat);
    if (Damaged(path, store.status())) {
        return; // the next write starts the file again without it
    }
    store.remove(QString::fromStdString(section));
    store.sync();
}

bool QtSettingsStore::Damaged(const std::string& path, int status)
{
    // Qt parses a file once per process, so only the first reader hears of its damage.
    if (damaged_.contains(path)) {
        return true;
    }
    if (status == QSettings::NoError) {
        return false;
    }
    damaged_.insert(path);
    if (!reported_) {
        reported_ = true;
        std::fprintf(stderr, "tellix: the settings in %s could not be %s; starting with the defaults\n",
                     path.c_str(), status == QSettings::FormatError ? "understood" : "read");
    }
    return true;
}

} // namespace tellix
