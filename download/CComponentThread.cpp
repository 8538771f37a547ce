#include "download/CComponentThread.h"

#include "download/CDownloadComponent.h"

void CComponentThread::Wait() const {
    if (ThreadHandle() != INVALID_HANDLE_VALUE) WaitForSingleObject(ThreadHandle(), INFINITE);
}

unsigned CComponentThread::Run() { return CDownloadComponent::ComponentThreadProc(&component); }
