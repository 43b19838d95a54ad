#pragma once

#include "Registry.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace kavelo {

class IDialogs;
class IProgramStarter;

inline constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";
// Appended to the folder of the second registry location.
inline constexpr const char* kMsInfoFileName = "/MSINFO32.EXE";

// Reads the value `subKeyRef` of the key `keyName` under `keyRoot` into `keyVal`. True when the
// value was read. Text values come back without their terminating zero; 32-bit numbers as
// decimal text; a value of another type leaves `keyVal` as it was. The key is opened for
// reading only and closed again before returning.
bool GetKeyValue(IRegistry& registry, RegKey keyRoot, const QString& keyName,
                 const QString& subKeyRef, QString& keyVal);

// Finds the system-information program through the registry and starts it, or tells the user
// (through `dialogs`, over `parent`) that it is unavailable.
void StartSysInfo(IRegistry& registry, IProgramStarter& starter, IDialogs& dialogs,
                  QWidget* parent);

} // namespace kavelo
