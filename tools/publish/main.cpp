// pelko-publish: makes and checks the update tree that the component fetches.
//
//   pelko-publish build [--clients-tz ZONE] [--strict] <release-folder> <description.ini>
//   <output-folder> pelko-publish verify <output-folder>
//
// Exit code 0 on success; otherwise one line on standard error and a non-zero code.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/publish/CClientClock.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CPublisher.h"
#include "tools/publish/CTreeVerifier.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage() {
    std::fputs(
        "usage: pelko-publish build [--clients-tz ZONE] [--strict] <release-folder> "
        "<description.ini> "
        "<output-folder> | pelko-publish verify <output-folder>\n",
        stderr);
    return kUsage;
}

int Build(std::vector<std::string> args) {
    std::string zone;
    bool strict = false;
    for (bool option = true; option && !args.empty();) {
        if (args.size() >= 2 && args[0] == "--clients-tz") {
            zone = args[1];
            args.erase(args.begin(), args.begin() + 2);
            if (auto problem = CClientClock::ZoneProblem(zone)) throw CPublishError(*problem);
        } else if (args[0] == "--strict") {
            strict = true;
            args.erase(args.begin());
        } else {
            option = false;
        }
    }
    if (args.size() != 3) return Usage();
    CPublisher publisher{CClientClock(zone)};
    publisher.SetStrict(strict);
    const CPublisher::Summary summary = publisher.Build(args[0], args[1], args[2]);
    for (const std::string& warning : summary.warnings)
        std::fprintf(stderr, "pelko-publish: warning: %s\n", warning.c_str());
    std::printf("pelko-publish: %zu files, %zu packages written, %zu kept, tree in %s\n",
                summary.files, summary.written, summary.files - summary.written, args[2].c_str());
    return 0;
}

int Verify(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    const size_t count = CTreeVerifier::Verify(args[0]);
    std::printf("pelko-publish: %s verified, %zu packages\n", args[0].c_str(), count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "build") return Build(args);
        if (command == "verify") return Verify(args);
        return Usage();
    } catch (const std::exception& error) {
        std::string line = error.what();
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
        std::fprintf(stderr, "pelko-publish: %s\n", line.c_str());
    } catch (...) {
        std::fputs("pelko-publish: unexpected failure\n", stderr);
    }
    return kFailed;
}
