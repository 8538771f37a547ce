#pragma once

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <mutex>
#include <string>

// The proxy credentials of one update run: the first transfer whose proxy asks for them (407)
// prompts the user, over the run's window; the transfers that ask meanwhile wait for that
// answer, and every later one reuses it. A run prompts once: a cancel, or credentials the proxy
// refuses again, fail the transfers that need them. A stop closes an open prompt.
class CProxyPrompt {
public:
    struct Credentials {
        std::wstring user;
        std::wstring password;
    };

    virtual ~CProxyPrompt() = default;

    void SetOwner(HWND window);
    // The run's answer for request, asking the user when nobody has yet; false when the user
    // cancelled, the run stopped, or there is no answer to give.
    bool Answer(HINTERNET request, Credentials& answer);
    // Closes an open prompt; none opens afterwards.
    void Stop();

protected:
    // Shows the prompt for request over owner; true with the credentials the user gave.
    virtual bool Prompt(HWND owner, HINTERNET request, Credentials& given);
    // Ends a prompt that Prompt shows on thread (a prompt of its own closes itself there).
    virtual void ClosePrompt(DWORD thread);

private:
    enum class State { NotAsked, Asking, Answered, Refused };
    std::mutex lock;
    std::condition_variable answered;
    State state = State::NotAsked;
    bool stopped = false;
    HWND owner = nullptr;
    DWORD promptThread = 0;
    Credentials credentials;
};
