// SNMP agents on 127.0.0.1 for the tests of the remote walk: a real snmpd with a v2c community
// and a v3 user, and the scripted agent of udpagent.py. Each is stopped with its fixture.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace testcommon {

// snmpd as the current user, its configuration and persistent files in a folder of its own.
class TSnmpd {
public:
    static constexpr const char* kCommunity = "sorvane-test";
    static constexpr const char* kUser = "tuser";
    static constexpr const char* kAuthPassphrase = "authpass1";
    static constexpr const char* kPrivPassphrase = "privpass1";

    ~TSnmpd() { Stop(); }
    // Starts it on a free port and waits until it answers; false, with Error(), if it will not.
    [[nodiscard]] bool Start();
    void Stop();
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
    QString Error() const { return FError; }

private:
    bool Answers();

    std::unique_ptr<QTemporaryDir> FDir;
    QProcess FProcess;
    int FPort = 0;
    QString FError;
};

// tests/common/udpagent.py in one of its modes, with the arguments given after it.
class TScriptedAgent {
public:
    ~TScriptedAgent();
    [[nodiscard]] bool Start(const QStringList& arguments);
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
    // Sends a text command and returns the agent's reply; empty if none came.
    QByteArray Control(const QByteArray& command) const;

private:
    QProcess FProcess;
    int FPort = 0;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
int FreeUdpPort();

} // namespace testcommon
