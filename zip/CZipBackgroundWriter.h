#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/CFile.h"

// Writes chunks to a file on a thread of its own, one chunk at a time, so that the next chunk
// is produced while the last one is written. A write failure is raised by the next Write or by
// Finish.
class CZipBackgroundWriter {
public:
    explicit CZipBackgroundWriter(CFile& file);
    CZipBackgroundWriter(const CZipBackgroundWriter&) = delete;
    CZipBackgroundWriter& operator=(const CZipBackgroundWriter&) = delete;
    ~CZipBackgroundWriter();

    // Takes the first count bytes of chunk; chunk gets back a buffer of the same size.
    void Write(std::vector<uint8_t>& chunk, unsigned count);
    // Waits until every chunk is written.
    void Finish();
    // Ends the thread after the chunk in hand; a failure not yet raised is dropped.
    void Stop();

private:
    void Run();
    void RaiseFailure();

    CFile& file;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<uint8_t> pending;
    unsigned pendingCount = 0;
    bool busy = false;
    bool stopping = false;
    std::exception_ptr failure;
    std::thread worker;
};
