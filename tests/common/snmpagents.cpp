#include "snmpagents.h"

#include "loopback.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testcommon {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

int FreeUdpPort() {
    const TUdpSocket s;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (s.Fd < 0 || ::bind(s.Fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(s.Fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool TSnmpd::Start() {
    FDir = std::make_unique<QTemporaryDir>();
    const QString config = FDir->filePath("snmpd.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        FError = "cannot write " + config;
        return false;
    }
    file.write(QStringLiteral("rocommunity %1 127.0.0.1\n"
                              "createUser %2 SHA \"%3\" AES \"%4\"\n"
                              "rouser %2 priv\n")
                   .arg(kCommunity, kUser, kAuthPassphrase, kPrivPassphrase)
                   .toUtf8());
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SNMP_PERSISTENT_DIR", FDir->filePath("persistent"));
    environment.insert("MIBS", ""); // the agent needs none of its MIB files to answer
    FProcess.setProcessEnvironment(environment);
    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    // The port may be taken between the look and the bind: then another.
    for (int attempt = 0; attempt < 3; ++attempt) {
        FPort = FreeUdpPort();
        FProcess.start("/usr/sbin/snmpd", {"-f", "-Lf", FDir->filePath("snmpd.log"), "-C", "-c",
                                           config, QStringLiteral("udp:127.0.0.1:%1").arg(FPort)});
        if (!FProcess.waitForStarted(5000)) {
            FError = "snmpd: " + FProcess.errorString();
            return false;
        }
        const QDeadlineTimer patience(20000);
        while (FProcess.state() == QProcess::Running && !patience.hasExpired())
            if (Answers()) return true;
        stopProcess(FProcess);
    }
    QFile log(FDir->filePath("snmpd.log"));
    FError = "snmpd did not answer: " +
             (log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString());
    return false;
}

// One get of sysUpTime with the community, by Net-SNMP's own client.
bool TSnmpd::Answers() {
    QProcess get;
    get.start("snmpget", {"-v2c", "-c", kCommunity, "-r", "0", "-t", "0.2", "-On", Address(),
                          "1.3.6.1.2.1.1.3.0"});
    return get.waitForFinished(5000) && get.exitStatus() == QProcess::NormalExit &&
           get.exitCode() == 0;
}

void TSnmpd::Stop() {
    stopProcess(FProcess);
}

TScriptedAgent::~TScriptedAgent() {
    stopProcess(FProcess);
}

bool TScriptedAgent::Start(const QStringList& arguments) {
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    FProcess.start(SORVANE_PYTHON3, QStringList{SORVANE_UDPAGENT} + arguments);
    const QDeadlineTimer patience(15000);
    while (!FProcess.canReadLine() && FProcess.state() != QProcess::NotRunning &&
           !patience.hasExpired())
        FProcess.waitForReadyRead(static_cast<int>(patience.remainingTime()));
    const QByteArray line = FProcess.readLine().trimmed();
    if (!line.startsWith("PORT ")) return false;
    FPort = line.mid(5).toInt();
    return FPort > 0;
}

QByteArray TScriptedAgent::Control(const QByteArray& command) const {
    const TUdpSocket s;
    const sockaddr_in agent = loopback(FPort);
    if (s.Fd < 0 || ::sendto(s.Fd, command.constData(), static_cast<std::size_t>(command.size()), 0,
                             reinterpret_cast<const sockaddr*>(&agent), sizeof agent) < 0)
        return {};
    pollfd ready{s.Fd, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) return {};
    QByteArray reply(64, '\0');
    const ssize_t length = ::recv(s.Fd, reply.data(), static_cast<std::size_t>(reply.size()), 0);
    return length > 0 ? reply.left(static_cast<int>(length)) : QByteArray();
}

} // namespace testcommon
