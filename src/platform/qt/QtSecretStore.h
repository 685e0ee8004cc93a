#pragma once

#include "platform/SecretStore.h"

namespace tellix {

// The Secret Service (GNOME Keyring, KWallet) through QtKeychain, under the service "Tellix".
class QtSecretStore final : public SecretStore {
public:
    void Read(const std::string& key, ReadDone done) override;
    void Write(const std::string& key, const std::string& secret, WriteDone done) override;
};

} // namespace tellix
