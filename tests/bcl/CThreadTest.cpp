#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "framework/CException.h"
#include "framework/win32/DebugOutput.h"
#include "support/bcl/common/exception/CException.h"
#include "support/bcl/system/process/thread/CThread.h"

namespace {

using bcl::common::exception::CException;
using bcl::system::process::thread::CThread;

// Returns a chosen value; optionally waits for a release event first.
class ReturningThread : public CThread {
public:
    explicit ReturningThread(unsigned result) : result_(result) {}
    ~ReturningThread() override {
        Release();
        Join();
        CloseHandle(release_);
    }
    void Release() { SetEvent(release_); }
    DWORD Join() {
        DWORD code = 0;
        if (ThreadHandle() != INVALID_HANDLE_VALUE) {
            WaitForSingleObject(ThreadHandle(), INFINITE);
            GetExitCodeThread(ThreadHandle(), &code);
        }
        return code;
    }
    bool waitForRelease = false;

protected:
    unsigned Run() override {
        if (waitForRelease) WaitForSingleObject(release_, INFINITE);
        return result_;
    }

private:
    unsigned result_;
    HANDLE release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// Answers with the wParam of the first thread message it receives.
class MessageThread : public CThread {
public:
    MessageThread() { queueReady_ = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~MessageThread() override { CloseHandle(queueReady_); }
    bool WaitForQueue() { return WaitForSingleObject(queueReady_, 10000) == WAIT_OBJECT_0; }

protected:
    unsigned Run() override {
        MSG msg;
        PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // creates the queue
        SetEvent(queueReady_);
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return 0;
        return msg.message == WM_USER + 7 ? static_cast<unsigned>(msg.wParam) : 1;
    }

private:
    HANDLE queueReady_;
};

TEST(CThread, ExitCodeIsTheResultOfRun) {
    ReturningThread thread(0xC0FFEE);
    thread.Start();
    EXPECT_NE(thread.ThreadId(), 0u);
    EXPECT_EQ(thread.Join(), 0xC0FFEEu);
}

TEST(CThread, SecondStartWithoutCloseThrowsAndLeavesTheThreadAlone) {
    ReturningThread thread(5);
    thread.waitForRelease = true;
    thread.Start();
    const DWORD firstId = thread.ThreadId();
    try {
        thread.Start();
        FAIL() << "second Start did not throw";
    } catch (const CException& e) {
        EXPECT_EQ(e.GetLocation(), L"CThread::Start()");
        EXPECT_EQ(e.GetDescription(), L"Thread always running");
        EXPECT_EQ(e.GetText(), L"Exception - CThread::Start() Thread always running");
    }
    EXPECT_EQ(thread.ThreadId(), firstId);
    // Even after the run ended, the held handle still refuses a new start.
    thread.Release();
    EXPECT_EQ(thread.Join(), 5u);
    EXPECT_THROW(thread.Start(), CException);
}

TEST(CThread, CloseThenStartRunsAgainOnANewThread) {
    ReturningThread thread(3);
    thread.Close();  // never started: nothing to close
    EXPECT_EQ(thread.ThreadHandle(), INVALID_HANDLE_VALUE);
    thread.Start();
    const DWORD firstId = thread.ThreadId();
    // Hold the first thread's id alive until the second starts, so the id cannot be reused.
    HANDLE first = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread.ThreadHandle(), GetCurrentProcess(), &first, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    EXPECT_EQ(thread.Join(), 3u);
    thread.Close();
    EXPECT_EQ(thread.ThreadHandle(), INVALID_HANDLE_VALUE);
    thread.Close();
    thread.Start();
    EXPECT_NE(thread.ThreadId(), firstId);
    EXPECT_EQ(thread.Join(), 3u);
    CloseHandle(first);
}

TEST(CThread, PostToThreadReachesTheStartedThreadOnly) {
    MessageThread thread;
    EXPECT_FALSE(thread.PostToThread(WM_USER + 7, 42, 0));  // never started: thread id 0
    thread.Start();
    ASSERT_TRUE(thread.WaitForQueue());
    EXPECT_TRUE(thread.PostToThread(WM_USER + 7, 42, 0));
    WaitForSingleObject(thread.ThreadHandle(), 10000);
    DWORD code = 0;
    GetExitCodeThread(thread.ThreadHandle(), &code);
    EXPECT_EQ(code, 42u);
}

TEST(CThread, PostToThreadIsRefusedAfterClose) {
    MessageThread thread;
    thread.Start();
    ASSERT_TRUE(thread.WaitForQueue());
    const DWORD id = thread.ThreadId();
    HANDLE running = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread.ThreadHandle(), GetCurrentProcess(),
                                &running, 0, FALSE, DUPLICATE_SAME_ACCESS));
    thread.Close();
    EXPECT_FALSE(thread.PostToThread(WM_USER + 7, 42, 0));
    // The thread still waits: the first message it receives is the one posted here.
    ASSERT_TRUE(PostThreadMessageW(id, WM_USER + 7, 9, 0));
    ASSERT_EQ(WaitForSingleObject(running, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(running, &code);
    EXPECT_EQ(code, 9u);
    CloseHandle(running);
}

// Run ends by throwing what it was given.
class ThrowingThread : public CThread {
public:
    explicit ThrowingThread(std::function<void()> thrower) : thrower_(std::move(thrower)) {}
    ~ThrowingThread() override {
        if (ThreadHandle() != INVALID_HANDLE_VALUE) WaitForSingleObject(ThreadHandle(), INFINITE);
    }

protected:
    unsigned Run() override {
        thrower_();
        return 0;
    }

private:
    std::function<void()> thrower_;
};

// A file exception as the framework throws it: by pointer, owned by the catcher.
class CountedFileException : public ::CException {
public:
    explicit CountedFileException(int& alive) : alive_(alive) { ++alive_; }
    ~CountedFileException() override { --alive_; }
    bool GetErrorMessage(wchar_t* buffer, size_t size) const override {
        return CopyMessage(L"disk full", 9, buffer, size);
    }

private:
    int& alive_;
};

struct ThrowCase {
    const char* name;
    std::function<void()> thrower;
    std::wstring reported;
};

TEST(CThread, ExceptionLeavingRunIsReportedAndEndsOnlyTheThread) {
    int fileExceptionsAlive = 0;
    const ThrowCase cases[] = {
        {"thread class exception", [] { throw CException(L"CPatchDlg::Run", L"no manager"); },
         L"CThread::ThreadEntry, caught Exception - CPatchDlg::Run no manager\n"},
        {"standard exception", [] { throw std::bad_alloc(); },
         L"CThread::ThreadEntry, caught std::bad_alloc\n"},
        {"thrown by pointer", [&] { throw new CountedFileException(fileExceptionsAlive); },
         L"CThread::ThreadEntry, caught disk full\n"},
        {"anything else", [] { throw 7; }, L"CThread::ThreadEntry, caught an unknown exception\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> lines;
        std::mutex lock;
        DebugOutput::SetObserver([&](const std::wstring& line) {
            std::lock_guard<std::mutex> guard(lock);
            lines.push_back(line);
        });
        ThrowingThread thread(c.thrower);
        thread.Start();
        ASSERT_EQ(WaitForSingleObject(thread.ThreadHandle(), 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeThread(thread.ThreadHandle(), &code);
        EXPECT_EQ(code, CThread::kRunThrew);
        DebugOutput::SetObserver(nullptr);
        EXPECT_EQ(lines, std::vector<std::wstring>{c.reported});
    }
    EXPECT_EQ(fileExceptionsAlive, 0);
}

}  // namespace
