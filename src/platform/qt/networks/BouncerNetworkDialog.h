#pragma once

#include <QDialog>

#include <map>
#include <string>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace tellix {

// A bouncer's network as its form shows it: name, server and the nick there. Filled from the
// attributes the bouncer told, it gives back what the user changed.
class BouncerNetworkDialog final : public QDialog {
public:
    using Attributes = std::map<std::string, std::string>;

    // The result when the user asked for the network to go.
    static constexpr int kRemove = 2;

    // `attributes` empty: a network to add; else one to edit, or to remove.
    explicit BouncerNetworkDialog(const Attributes& attributes, QWidget* parent = nullptr);

    // The fields as attributes: those set, for a network to add.
    Attributes Entered() const;
    // What differs from the attributes the form was filled with; a field emptied is an empty
    // value, which takes the attribute away.
    Attributes Changes() const;

    QLineEdit* NameField() const { return name_; }
    QLineEdit* HostField() const { return host_; }

private:
    Attributes shown_;
    QLineEdit* name_;
    QLineEdit* host_;
    QSpinBox* port_;
    QCheckBox* tls_;
    QLineEdit* nick_;
};

} // namespace tellix
