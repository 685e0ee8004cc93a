#include "dialog/ConnectDialog.h"

#include "util/Utility.h"

namespace tellix {

ConnectDialog::ConnectDialog() : key_(NewUniqueKey()) {}

ConnectDialog::~ConnectDialog() = default;

void ConnectDialog::SetParent(Childs* parent)
{
    if (parent_ == nullptr) {
        parent_ = parent;
    }
}

void ConnectDialog::Delete()
{
    parent_ = nullptr;
}

} // namespace tellix
