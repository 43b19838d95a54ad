#pragma once

#include "Mci.h"
#include "MciDevice.h"
#include "MediaDevices.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

namespace kavelo {

// The media command-string interpreter. Commands:
//   open <file> type <device type> [alias <name>] [parent <window id>] [style <n>]
//   play <alias> [from <n>] [to <n>]    pause|resume|stop|close <alias>    close all
//   seek <alias> to <n>|start|end        put <alias> window at <x> <y> <w> <h>
//   set <alias> time format frames|milliseconds|ms
//   status <alias> length|position|mode
// Keywords match without regard to case, names may be quoted with double quotes, trailing
// blanks are ignored. The driver for a device type is the value of that key in the [MCI]
// section of the system profile; "mciqtz.drv" and "mciavi.drv" are ours.
class MciInterpreter final : public IMci {
public:
    explicit MciInterpreter(DeviceFactory factory = mediaDeviceFactory());
    ~MciInterpreter() override;

    MciInterpreter(const MciInterpreter&) = delete;
    MciInterpreter& operator=(const MciInterpreter&) = delete;

    std::uint32_t sendString(const QString& command, QString* reply, int replyLength) override;
    bool getErrorString(std::uint32_t code, QString* text, int length) override;

    // Names of the open aliases, in lower case.
    QStringList aliases() const;

private:
    MciError run(const QString& command, QString* reply);
    MciError open(const QStringList& args);
    MciError onDevice(const QString& verb, const QStringList& args, QString* reply);

    DeviceFactory m_factory;
    std::map<QString, std::unique_ptr<IMciDevice>> m_devices; // by alias, lower case
};

} // namespace kavelo
