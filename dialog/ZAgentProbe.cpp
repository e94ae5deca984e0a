#include "ZAgentProbe.h"

#include <algorithm>

QString InterfaceText(const std::string& descr) {
    const std::size_t end = descr.find('\0');
    return QString::fromUtf8(descr.data(), static_cast<qsizetype>(std::min(end, descr.size())));
}

TZAgentProbe::TZAgentProbe(QObject* parent, TAsk ask) : QObject(parent), FAsk(std::move(ask)) {
    if (!FAsk)
        FAsk = [](const TZSNMPRemoteAgent& agent) {
            return ZSNMPRemoteLoadDescriptions(agent, kProbeDeadline);
        };
}

TZAgentProbe::~TZAgentProbe() {
    {
        const std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_one();
    if (FThread.joinable()) FThread.join();
}

void TZAgentProbe::Ask(const TZSNMPRemoteAgent& agent) {
    {
        const std::lock_guard lock(FMutex);
        FQuestion = agent;
        ++FAsked;
    }
    FWaiting = true;
    // Started at the first question: a dialog of this machine only never has the thread.
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FWake.notify_one();
}

void TZAgentProbe::Forget() {
    const std::lock_guard lock(FMutex);
    FQuestion.reset();
    ++FAsked;
    FWaiting = false;
}

void TZAgentProbe::Run() {
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || FQuestion; });
        if (FStop) return;
        const TZSNMPRemoteAgent agent = std::move(*FQuestion);
        FQuestion.reset();
        const std::uint64_t number = FAsked;
        lock.unlock();
        TZSNMPRemoteDescriptions answer = FAsk(agent);
        QStringList names;
        for (const std::string& name : answer.Names)
            names.append(InterfaceText(name));
        lock.lock();
        // Only the newest question's answer is shown; the destructor joins before the probe
        // goes, so the queued call never outlives it.
        if (number == FAsked && !FStop)
            QMetaObject::invokeMethod(
                this,
                [this, number, names = std::move(names), error = answer.Error] {
                    {
                        const std::lock_guard guard(FMutex);
                        if (number != FAsked) return;
                    }
                    FWaiting = false;
                    Q_EMIT Answered(names, error);
                },
                Qt::QueuedConnection);
    }
}
