#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

namespace kavelo {

// A read-only view of the system registry, in the platform's own terms: keys are opened under a
// root handle with access rights, values come back as a type and raw bytes, and every call
// returns 0 on success or a numeric error code.
using RegKey = std::uint32_t;

inline constexpr RegKey kHKeyLocalMachine = 0x80000002u;

// Access rights.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001u;
inline constexpr std::uint32_t kKeyRead = 0x00020019u; // query, enumerate, notify, read control
inline constexpr std::uint32_t kKeyAllAccess = 0x000F003Fu; // includes every write right
// Rights that change a key: set value, create subkey, create link, delete, write DAC, write
// owner, generic write and generic all.
inline constexpr std::uint32_t kKeyWriteRights = 0x000D0026u | 0x50000000u;

// Value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// Error codes.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorMoreData = 234;

class IRegistry {
public:
    virtual ~IRegistry() = default;

    // Opens `subKey` under `root`. On success stores a handle in `key` and returns 0; on
    // failure returns an error code and leaves `key` as it was.
    virtual long openKey(RegKey root, const QString& subKey, std::uint32_t options,
                         std::uint32_t access, RegKey& key) = 0;
    // Reads the value `name` of an open key. On entry `size` is the room in `buffer` in bytes
    // (at most buffer.size()); on success the value's bytes are at the start of `buffer`, and
    // `type` and `size` hold its type and length. When the room is too small the result is
    // kErrorMoreData, with `size` set to the length needed and the buffer untouched.
    virtual long queryValue(RegKey key, const QString& name, std::uint32_t& type,
                            QByteArray& buffer, std::uint32_t& size) = 0;
    virtual long closeKey(RegKey key) = 0;
};

// Copies a value's bytes into a caller's buffer with the room rules of IRegistry::queryValue.
long copyRegistryValue(std::uint32_t valueType, const QByteArray& value, std::uint32_t& type,
                       QByteArray& buffer, std::uint32_t& size);

// Where the system-information program is registered: the full path of the program...
inline constexpr const char* kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kMsInfoPathValue = "PATH";
// ...or the folder that holds it.
inline constexpr const char* kSharedToolsLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kMsInfoFolderValue = "MSINFO";

// The Linux registry: read-only, and it knows one value only. The system-information key's
// "PATH" value is the first of sysInfoPrograms() found on the search path, looked up each time
// the key is opened; without one the key does not exist. Opening with any write right is
// refused, as for a user who may not change the machine's keys.
class LinuxRegistry final : public IRegistry {
public:
    // `searchPaths` empty: the PATH environment variable.
    explicit LinuxRegistry(QStringList searchPaths = {});

    long openKey(RegKey root, const QString& subKey, std::uint32_t options, std::uint32_t access,
                 RegKey& key) override;
    long queryValue(RegKey key, const QString& name, std::uint32_t& type, QByteArray& buffer,
                    std::uint32_t& size) override;
    long closeKey(RegKey key) override;

    // Programs that show the system's hardware and software, best first.
    static QStringList sysInfoPrograms();
    // The first of sysInfoPrograms() on the search path, or empty text.
    QString findSysInfoProgram() const;

private:
    QStringList m_searchPaths;
    std::map<RegKey, QString> m_open; // handle -> program path found when the key was opened
    RegKey m_nextKey = 0x100;
};

} // namespace kavelo
