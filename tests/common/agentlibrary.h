// Agent libraries held open by the tests themselves. dlopen counts its users, so a library that
// the code under test loads from the same file is one copy: the test sees and sets its state,
// and that state outlives every component that unloads it.
#pragma once

#include "testagent.h"

#include <QString>

namespace testcommon {

// One shared library, open while this lives.
class TLibrary {
public:
    explicit TLibrary(const QString& path);
    ~TLibrary();
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    bool Loaded() const { return FHandle != nullptr; }
    // Why it did not load.
    QString Error() const { return FError; }
    // The named function; nullptr where the library lacks it or did not load.
    template <typename Fn> Fn Symbol(const char* name) const {
        return reinterpret_cast<Fn>(Lookup(name));
    }

private:
    void* Lookup(const char* name) const;

    void* FHandle = nullptr;
    QString FError;
};

// The control functions of a test agent (tests/mib/agents), from its libinetmib1.so.
class TTestAgent {
public:
    explicit TTestAgent(const QString& path);
    // Loaded, and every control function found.
    bool Ok() const { return Configure && Stats && SetOctets && SetPresent; }
    QString Error() const { return FLibrary.Error(); }

private:
    TLibrary FLibrary; // first: the functions below are looked up in it

public:
    const TestAgentConfigureFn Configure;
    const TestAgentStatsFn Stats;
    const TestAgentSetOctetsFn SetOctets;
    const TestAgentSetPresentFn SetPresent;
};

// The counting functions of the test agents' libsnmpapi.so.
class TTestApi {
public:
    explicit TTestApi(const QString& path);
    bool Ok() const { return Stats && Reset; }
    QString Error() const { return FLibrary.Error(); }

private:
    TLibrary FLibrary;

public:
    const TestApiStatsFn Stats;
    const TestApiResetFn Reset;
};

// The agent library beside this executable, the one the program's components load.
// Needs the application object.
QString AgentBesideExecutable();

} // namespace testcommon
