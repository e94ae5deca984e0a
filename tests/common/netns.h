// A network namespace of the test's own for this thread, left again when the object goes, and
// the `ip` commands that build its links and routes.
#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace testcommon {

class TPrivateNetwork {
public:
    TPrivateNetwork() {
        FHome = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (FHome < 0 || ::unshare(CLONE_NEWNET) != 0) {
            FError =
                QString("network namespaces are not allowed here (%1)").arg(std::strerror(errno));
            return;
        }
        FEntered = true;
        if (!Run("ip link set lo up")) FError = "no ip command: " + FError;
    }
    ~TPrivateNetwork() {
        // The namespace and its links vanish with the last reference to it.
        if (FEntered && ::setns(FHome, CLONE_NEWNET) != 0)
            qFatal("cannot return to the network namespace");
        if (FHome >= 0) ::close(FHome);
    }
    TPrivateNetwork(const TPrivateNetwork&) = delete;
    TPrivateNetwork& operator=(const TPrivateNetwork&) = delete;

    // Empty when the namespace is ready; else why not (a reason to skip).
    QString Error() const {
        return FEntered ? FError : (FError.isEmpty() ? "not entered" : FError);
    }
    bool Ready() const { return FEntered && FError.isEmpty(); }

    // Runs each ";"-separated `ip ...` command; false, with Error() set, at the first failure.
    bool Run(const QString& commands) {
        for (const QString& command : commands.split(';', Qt::SkipEmptyParts)) {
            QStringList words = command.split(' ', Qt::SkipEmptyParts);
            QProcess p;
            p.start(words.takeFirst(), words);
            if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit ||
                p.exitCode() != 0) {
                FError =
                    command.trimmed() + ": " + QString::fromLocal8Bit(p.readAllStandardError());
                return false;
            }
        }
        return true;
    }

    // Two uplinks, up0 (10.0.0.2/24) and up1 (10.1.0.2/24), veth pairs whose peers stay here.
    bool TwoUplinks() {
        for (int i : {0, 1})
            if (!Run(QString("ip link add up%1 type veth peer name peer%1;ip link set peer%1 up;"
                             "ip link set up%1 up;ip addr add 10.%1.0.2/24 dev up%1;"
                             "ip addr add 10.%1.0.1/24 dev peer%1")
                         .arg(i)))
                return false;
        return true;
    }

private:
    int FHome = -1;
    bool FEntered = false;
    QString FError;
};

} // namespace testcommon
