#include "MemoryRegistry.h"

namespace kavelo::test {

void MemoryRegistry::setValue(const QString& key, const QString& name, std::uint32_t type,
                              QByteArray bytes) {
    m_keys[key.toLower()][name.toLower()] = {type, std::move(bytes)};
}

long MemoryRegistry::openKey(RegKey root, const QString& subKey, std::uint32_t /*options*/,
                             std::uint32_t access, RegKey& key) {
    opens.emplace_back(subKey, access);
    if (root != kHKeyLocalMachine || !m_keys.contains(subKey.toLower()))
        return kErrorFileNotFound;
    if (access & m_refused)
        return kErrorAccessDenied;
    key = m_next++;
    m_handles[key] = subKey.toLower();
    openKeys.insert(key);
    return kErrorSuccess;
}

long MemoryRegistry::queryValue(RegKey key, const QString& name, std::uint32_t& type,
                                QByteArray& buffer, std::uint32_t& size) {
    const auto h = m_handles.find(key);
    if (h == m_handles.end())
        return kErrorInvalidHandle;
    const auto& values = m_keys[h->second];
    const auto v = values.find(name.toLower());
    if (v == values.end())
        return kErrorFileNotFound;
    return copyRegistryValue(v->second.first, v->second.second, type, buffer, size);
}

long MemoryRegistry::closeKey(RegKey key) {
    closes.push_back(key);
    openKeys.erase(key);
    return m_handles.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

} // namespace kavelo::test
