// Asks another machine's agent for its interface list while the dialog stays responsive.
#pragma once
#include "ZSNMPRemote.h"
#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// An interface description as an agent gives it: octets up to the first zero.
QString InterfaceText(const std::string& descr);

class TZAgentProbe : public QObject {
    Q_OBJECT
public:
    using TAsk = std::function<TZSNMPRemoteDescriptions(const TZSNMPRemoteAgent&)>;
    // ask runs on a thread of the probe's; without one, ZSNMPRemoteLoadDescriptions with
    // kProbeDeadline.
    explicit TZAgentProbe(QObject* parent, TAsk ask = {});
    // Waits for a question in progress: at most its deadline.
    ~TZAgentProbe() override;
    // The answer to an earlier question that has not come yet is dropped.
    void Ask(const TZSNMPRemoteAgent& agent);
    // Drops the answer to the question in progress.
    void Forget();
    bool Waiting() const { return FWaiting; }

    static constexpr std::chrono::milliseconds kProbeDeadline{2000};

Q_SIGNALS:
    // Error None: names is the agent's list (possibly empty).
    void Answered(const QStringList& names, TZSNMPRemoteError error);

private:
    void Run();
    TAsk FAsk;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::optional<TZSNMPRemoteAgent> FQuestion; // under FMutex
    std::uint64_t FAsked = 0;                   // under FMutex: the newest question's number
    bool FStop = false;                         // under FMutex
    bool FWaiting = false;                      // GUI thread only
    std::thread FThread;
};
