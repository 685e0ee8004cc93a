#include "platform/qt/networks/BouncerNetworkDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <string_view>

namespace tellix {

namespace {

std::string Get(const BouncerNetworkDialog::Attributes& attributes, const std::string& key)
{
    const auto found = attributes.find(key);
    return found == attributes.end() ? std::string() : found->second;
}

QString Text(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

BouncerNetworkDialog::BouncerNetworkDialog(const Attributes& attributes, QWidget* parent)
    : QDialog(parent), shown_(attributes), name_(new QLineEdit(Text(Get(attributes, "name")), this)),
      host_(new QLineEdit(Text(Get(attributes, "host")), this)), port_(new QSpinBox(this)),
      tls_(new QCheckBox(QStringLiteral("Use &TLS"), this)),
      nick_(new QLineEdit(Text(Get(attributes, "nickname")), this))
{
    const bool adding = attributes.empty();
    setWindowTitle(adding ? QStringLiteral("Add Bouncer Network") : QStringLiteral("Edit Bouncer Network"));
    setAccessibleName(windowTitle());
    port_->setRange(0, 65535);
    port_->setSpecialValueText(QStringLiteral("the bouncer's choice"));
    port_->setValue(QString::fromStdString(Get(attributes, "port")).toInt());
    // The bouncer's own default for a network is TLS.
    tls_->setChecked(adding || Get(attributes, "tls") != "0");

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Name:"), name_);
    form->addRow(QStringLiteral("&Server:"), host_);
    form->addRow(QStringLiteral("&Port:"), port_);
    form->addRow(QString(), tls_);
    form->addRow(QStringLiteral("N&ick there:"), nick_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    if (!adding) {
        QPushButton* remove =
            buttons->addButton(QStringLiteral("&Remove Network"), QDialogButtonBox::DestructiveRole);
        connect(remove, &QPushButton::clicked, this, [this] { done(kRemove); });
    }
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // A network needs its server.
    const auto check = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!host_->text().trimmed().isEmpty());
    };
    connect(host_, &QLineEdit::textChanged, this, check);
    check();
}

BouncerNetworkDialog::Attributes BouncerNetworkDialog::Entered() const
{
    Attributes entered;
    const auto put = [&entered](const char* key, const QString& value) {
        if (!value.trimmed().isEmpty()) {
            entered[key] = value.trimmed().toStdString();
        }
    };
    put("name", name_->text());
    put("host", host_->text());
    put("port", port_->value() == 0 ? QString() : QString::number(port_->value()));
    put("nickname", nick_->text());
    entered["tls"] = tls_->isChecked() ? "1" : "0";
    return entered;
}

BouncerNetworkDialog::Attributes BouncerNetworkDialog::Changes() const
{
    const Attributes entered = Entered();
    Attributes changes;
    for (const char* key : {"name", "host", "port", "nickname", "tls"}) {
        const std::string now = Get(entered, key);
        std::string before = Get(shown_, key);
        if (std::string_view(key) == "tls" && before.empty()) {
            before = "1"; // as the box showed it
        }
        if (now != before) {
            changes[key] = now;
        }
    }
    return changes;
}

} // namespace tellix
