// A second process for the profile tests: writes keys into a profile the way a second Kavelo
// window or process would.
//   profile_writer add <file> <prefix> <count> <go-file>
//       waits for <go-file> to exist, then sets [keys] <prefix><i>=<i> for i < count; prints the
//       number of writes that failed and exits 1 when there were any.
//   profile_writer loop <file> <prefix>
//       rewrites [keys] <prefix><i> over and over until it is killed; says "writing" once it
//       has written once.
#include "Profile.h"

#include <QFileInfo>
#include <QString>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using kavelo::writePrivateProfileString;

namespace {

const QString kSection = QStringLiteral("keys");

int add(const QString& file, const QString& prefix, int count, const QString& go) {
    while (!QFileInfo::exists(go))
        QThread::usleep(500);
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        if (!writePrivateProfileString(kSection, prefix + QString::number(i), QString::number(i),
                                       file))
            ++failed;
    }
    std::printf("%d\n", failed);
    return failed == 0 ? 0 : 1;
}

int loop(const QString& file, const QString& prefix) {
    for (unsigned i = 0;; ++i) {
        writePrivateProfileString(kSection, prefix + QString::number(i % 64), QString::number(i),
                                  file);
        if (i == 0) {
            std::printf("writing\n");
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "add") == 0)
        return add(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                   std::atoi(argv[4]), QString::fromLocal8Bit(argv[5]));
    if (argc == 4 && std::strcmp(argv[1], "loop") == 0)
        return loop(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    std::fprintf(stderr, "usage: profile_writer add FILE PREFIX COUNT GO | loop FILE PREFIX\n");
    return 2;
}
