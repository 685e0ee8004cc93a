#pragma once

#include "platform/qt/networks/NetworkForm.h"
#include "util/Event.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <string>

class QLabel;
class QListWidget;
class QPushButton;

namespace tellix {

class Networks;

// File > Networks...: the saved networks in their order, to add (blank or from a preset), edit,
// remove, reorder and connect. It shows what the core's list holds and hands every change to it.
class NetworksDialog final : public QDialog {
public:
    // `connectTo` asks the core to connect to the named network.
    using Connect = std::function<void(const std::string& name)>;
    NetworksDialog(Networks& networks, Connect connectTo, QWidget* parent);
    ~NetworksDialog() override;

    // The list is going away: the dialog touches it no more, and closes.
    void Detach();
    // Selects the named network and opens its form; nothing for a name not saved.
    void Edit(const std::string& name);

    QListWidget* List() const { return list_; }
    // Its menu holds "Blank Network" and the presets.
    QPushButton* AddButton() const { return add_; }
    QPushButton* EditButton() const { return edit_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* UpButton() const { return up_; }
    QPushButton* DownButton() const { return down_; }
    QPushButton* ConnectButton() const { return connect_; }
    QLabel* StatusLabel() const { return status_; }
    // The form of the network being added or edited, while it is open.
    NetworkForm* Form() const { return form_; }

private:
    void Refill();
    void Select(const std::string& name);
    // The selected network's name; empty for none.
    std::string Selected() const;
    void UpdateButtons();
    void AddFrom(const std::string& preset);
    void EditSelected();
    void RemoveSelected();
    void MoveSelected(int step);

    Networks* networks_;
    Connect connectTo_;
    Subscription changed_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* edit_;
    QPushButton* remove_;
    QPushButton* up_;
    QPushButton* down_;
    QPushButton* connect_;
    QLabel* status_;
    QPointer<NetworkForm> form_;
};

} // namespace tellix
