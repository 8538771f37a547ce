#include "support/fakeloaders/LoaderRecord.h"

namespace {
constexpr char kSettingsMark[] = "settings:\n";
}

std::string LoaderRecord::Format() const {
    return "path=" + Utf8(path) + "\ncwd=" + Utf8(cwd) + "\ncmdline=" + Utf8(commandLine) +
           "\npid=" + std::to_string(pid) +
           "\nconsoleprocesses=" + std::to_string(consoleProcesses) + "\n" + kSettingsMark +
           settings;
}

LoaderRecord LoaderRecord::Parse(const std::string& bytes) {
    LoaderRecord record;
    const std::string mark = kSettingsMark;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(pos, end + 1 - pos);
        if (line == mark) {
            record.settings = bytes.substr(end + 1);
            break;
        }
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value =
            equals == std::string::npos ? "" : line.substr(equals + 1, line.size() - equals - 2);
        if (key == "path") record.path = WideFromUtf8(value);
        if (key == "cwd") record.cwd = WideFromUtf8(value);
        if (key == "cmdline") record.commandLine = WideFromUtf8(value);
        if (key == "pid") record.pid = std::stoul(value);
        if (key == "consoleprocesses") record.consoleProcesses = std::stoul(value);
        pos = end + 1;
    }
    return record;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}
