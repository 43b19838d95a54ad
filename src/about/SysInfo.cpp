#include "SysInfo.h"

#include "Dialogs.h"
#include "Logging.h"
#include "ProgramStarter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace kavelo {

namespace {

constexpr std::uint32_t kValueBufferSize = 1024;

// A 32-bit number is stored low byte first; it reads as its unsigned value in decimal.
QString dwordText(const QByteArray& bytes) {
    std::uint32_t value = 0;
    const qsizetype n = std::min<qsizetype>(bytes.size(), 4);
    for (qsizetype i = n - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[i]);
    return QString::number(value);
}

} // namespace

bool GetKeyValue(IRegistry& registry, RegKey keyRoot, const QString& keyName,
                 const QString& subKeyRef, QString& keyVal) {
    RegKey key = 0;
    bool result = false;

    // Reading needs no more than read rights; asking for write rights would lock out every
    // user who may not change the machine's keys.
    if (registry.openKey(keyRoot, keyName, 0, kKeyRead, key) != kErrorSuccess) {
        keyVal.clear();
    } else {
        QByteArray buffer(kValueBufferSize, '\0');
        std::uint32_t size = kValueBufferSize;
        std::uint32_t type = 0;
        if (registry.queryValue(key, subKeyRef, type, buffer, size) != kErrorSuccess) {
            keyVal.clear();
        } else {
            const qsizetype length = std::min<qsizetype>(size, buffer.size());
            switch (type) {
            case kRegSz: {
                // Text is usually stored with its terminating zero, but need not be.
                qsizetype textLength = length;
                if (textLength > 0 && buffer[textLength - 1] == '\0')
                    --textLength;
                keyVal = QString::fromLocal8Bit(buffer.left(textLength));
                break;
            }
            case kRegDword:
                keyVal = dwordText(buffer.left(length));
                break;
            default:
                break;
            }
            result = true;
        }
    }

    registry.closeKey(key); // also when the open failed
    return result;
}

void StartSysInfo(IRegistry& registry, IProgramStarter& starter, IDialogs& dialogs,
                  QWidget* parent) {
    bool started = false;
    try {
        QString path;
        bool found = GetKeyValue(registry, kHKeyLocalMachine, QLatin1String(kMsInfoKey),
                                 QLatin1String(kMsInfoPathValue), path);
        if (!found &&
            GetKeyValue(registry, kHKeyLocalMachine, QLatin1String(kSharedToolsLocationKey),
                        QLatin1String(kMsInfoFolderValue), path)) {
            const QString file = path + QLatin1String(kMsInfoFileName);
            if (QFileInfo(file).isFile()) {
                path = file;
                found = true;
            }
        }
        if (found)
            started = starter.start(path);
    } catch (...) {
        logging::noteAbsorbed();
        started = false; // whatever went wrong, the user hears the one message
    }
    if (!started)
        dialogs.message(parent, QLatin1String(kSysInfoUnavailable));
}

} // namespace kavelo
