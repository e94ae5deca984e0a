#include "agentlibrary.h"

#include <QCoreApplication>
#include <QFile>

#include <dlfcn.h>

namespace testcommon {

TLibrary::TLibrary(const QString& path) {
    FHandle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) FError = QString::fromLocal8Bit(::dlerror());
}

TLibrary::~TLibrary() {
    if (FHandle) ::dlclose(FHandle);
}

void* TLibrary::Lookup(const char* name) const {
    return FHandle ? ::dlsym(FHandle, name) : nullptr;
}

TTestAgent::TTestAgent(const QString& path)
    : FLibrary(path), Configure(FLibrary.Symbol<TestAgentConfigureFn>(TESTAGENT_CONFIGURE)),
      Stats(FLibrary.Symbol<TestAgentStatsFn>(TESTAGENT_STATS)),
      SetOctets(FLibrary.Symbol<TestAgentSetOctetsFn>(TESTAGENT_SET_OCTETS)),
      SetPresent(FLibrary.Symbol<TestAgentSetPresentFn>(TESTAGENT_SET_PRESENT)) {}

TTestApi::TTestApi(const QString& path)
    : FLibrary(path), Stats(FLibrary.Symbol<TestApiStatsFn>(TESTAPI_STATS)),
      Reset(FLibrary.Symbol<TestApiResetFn>(TESTAPI_RESET)) {}

QString AgentBesideExecutable() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/libinetmib1.so");
}

} // namespace testcommon
