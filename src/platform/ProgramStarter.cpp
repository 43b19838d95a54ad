#include "ProgramStarter.h"

#include <QProcess>
#include <QStringList>

namespace kavelo {

bool DetachedProgramStarter::start(const QString& program) {
    if (program.isEmpty())
        return false;
    // The path is the program itself, never a command line: no shell, no splitting.
    return QProcess::startDetached(program, QStringList());
}

} // namespace kavelo
