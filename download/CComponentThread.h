#pragma once

#include "support/bcl/system/process/thread/CThread.h"

class CDownloadComponent;

// The worker thread of one component download.
class CComponentThread : public bcl::system::process::thread::CThread {
public:
    explicit CComponentThread(CDownloadComponent& component) : component(component) {}

    // Returns when the thread has ended; at once when it was never started.
    void Wait() const;

protected:
    unsigned Run() override;

private:
    CDownloadComponent& component;
};
