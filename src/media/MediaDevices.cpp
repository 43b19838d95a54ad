#include "MediaDevices.h"

#include <QFile>
#include <QFileInfo>

namespace kavelo {

bool isMidiFile(const QString& path) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(12);
        if (head.startsWith("MThd"))
            return true;
        return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "RMID";
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("mid") || suffix == QLatin1String("midi") ||
           suffix == QLatin1String("rmi");
}

DeviceFactory mediaDeviceFactory(const MediaOptions& options) {
    return [options](const OpenRequest& request, MciError* error) {
        if (isMidiFile(request.path))
            return openMidiDevice(request, options, error);
        return openMpvDevice(request, options, error);
    };
}

} // namespace kavelo
