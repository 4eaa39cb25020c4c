#include "platform/DatabaseDesc.h"

#include "platform/DBErrors.h"

#include <cstring>

namespace platform {

DBDesc GetDatabaseDesc(const std::string& aliasName) {
    DBDesc desc{};
    Check(engine::GetDatabaseDesc(aliasName.c_str(), &desc));
    return desc;
}

std::string DatabaseDirectory(const DBDesc& desc) {
    return std::string(desc.path, strnlen(desc.path, sizeof desc.path));
}

} // namespace platform
