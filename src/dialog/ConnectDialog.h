#pragma once

#include <string>

namespace tellix {

class Childs;

// The connect dialog object, owned by the window collection. It edits the connect data and
// starts or ends the first connection.
class ConnectDialog {
public:
    ConnectDialog();
    ~ConnectDialog();
    ConnectDialog(const ConnectDialog&) = delete;
    ConnectDialog& operator=(const ConnectDialog&) = delete;

    Childs* Parent() const { return parent_; }
    void Delete();

    // Used by the window collection.
    void SetParent(Childs* parent);
    const std::string& Key() const { return key_; }

private:
    std::string key_;
    Childs* parent_ = nullptr;
};

} // namespace tellix
