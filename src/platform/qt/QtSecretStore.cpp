#include "platform/qt/QtSecretStore.h"

#include <QString>
#include <qt6keychain/keychain.h>

#include <utility>

namespace tellix {

namespace {

const QString kService = QStringLiteral("Tellix");

template <typename Job> Job* NewJob(const std::string& key)
{
    auto* job = new Job(kService);
    job->setAutoDelete(true); // after `finished` is delivered
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(key));
    return job;
}

} // namespace

void QtSecretStore::Read(const std::string& key, ReadDone done)
{
    auto* job = NewJob<QKeychain::ReadPasswordJob>(key);
    QObject::connect(job, &QKeychain::Job::finished, [job, done = std::move(done)](QKeychain::Job*) {
        if (job->error() != QKeychain::NoError) {
            done(std::nullopt);
            return;
        }
        const QByteArray secret = job->textData().toUtf8();
        done(std::string(secret.constData(), static_cast<std::size_t>(secret.size())));
    });
    job->start();
}

void QtSecretStore::Write(const std::string& key, const std::string& secret, WriteDone done)
{
    if (secret.empty()) {
        auto* job = NewJob<QKeychain::DeletePasswordJob>(key);
        QObject::connect(job, &QKeychain::Job::finished, [job, done = std::move(done)](QKeychain::Job*) {
            done(job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound);
        });
        job->start();
        return;
    }
    auto* job = NewJob<QKeychain::WritePasswordJob>(key);
    job->setTextData(QString::fromStdString(secret));
    QObject::connect(job, &QKeychain::Job::finished,
                     [job, done = std::move(done)](QKeychain::Job*) { done(job->error() == QKeychain::NoError); });
    job->start();
}

} // namespace tellix
