#pragma once

#include "ProgramStarter.h"
#include "Registry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace kavelo::test {

// A registry held in memory, recording what is asked of it.
class MemoryRegistry final : public IRegistry {
public:
    void setValue(const QString& key, const QString& name, std::uint32_t type, QByteArray bytes);
    // Opens that ask for any of these rights are refused (a user who may not write).
    void refuseRights(std::uint32_t rights) { m_refused = rights; }

    long openKey(RegKey root, const QString& subKey, std::uint32_t options, std::uint32_t access,
                 RegKey& key) override;
    long queryValue(RegKey key, const QString& name, std::uint32_t& type, QByteArray& buffer,
                    std::uint32_t& size) override;
    long closeKey(RegKey key) override;

    std::vector<std::pair<QString, std::uint32_t>> opens; // key name, access asked for
    std::vector<RegKey> closes;
    std::set<RegKey> openKeys;

private:
    // Key and value names match without regard to case.
    std::map<QString, std::map<QString, std::pair<std::uint32_t, QByteArray>>> m_keys;
    std::map<RegKey, QString> m_handles;
    std::uint32_t m_refused = 0;
    RegKey m_next = 1;
};

class RecordingStarter final : public IProgramStarter {
public:
    bool start(const QString& program) override {
        started << program;
        return succeed;
    }
    QStringList started;
    bool succeed = true;
};

} // namespace kavelo::test
