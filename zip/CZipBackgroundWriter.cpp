#include "zip/CZipBackgroundWriter.h"

#include "framework/CException.h"

CZipBackgroundWriter::CZipBackgroundWriter(CFile& file)
    : file(file), worker(&CZipBackgroundWriter::Run, this) {}

CZipBackgroundWriter::~CZipBackgroundWriter() { Stop(); }

void CZipBackgroundWriter::Write(std::vector<uint8_t>& chunk, unsigned count) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !busy; });
    RaiseFailure();
    pending.resize(chunk.size());
    pending.swap(chunk);
    pendingCount = count;
    busy = true;
    changed.notify_all();
}

void CZipBackgroundWriter::Finish() {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !busy; });
    RaiseFailure();
}

void CZipBackgroundWriter::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    changed.notify_all();
    if (worker.joinable()) worker.join();
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
        failure = nullptr;
    }
}

void CZipBackgroundWriter::Run() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return busy || stopping; });
        if (!busy) return;
        guard.unlock();
        std::exception_ptr error;
        try {
            file.Write(pending.data(), pendingCount);
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        if (error && !failure) failure = error;
        busy = false;
        changed.notify_all();
    }
}

void CZipBackgroundWriter::RaiseFailure() {
    if (!failure) return;
    std::exception_ptr raised = failure;
    failure = nullptr;
    std::rethrow_exception(raised);
}
