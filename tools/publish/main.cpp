// pelko-publish: makes and checks the update tree that the component fetches.
//
//   pelko-publish keygen <private-key-file> <public-key-file>
//   pelko-publish build [--clients-tz ZONE] [--sign-key FILE --product NAME --expires-days N
//                       [--rollout-days D]] [--strict] [--delta-from TREE]...
//                       <release-folder> <description.ini> <output-folder>
//   pelko-publish rollout hold|resume|stop --sign-key FILE <output-folder>
//   pelko-publish verify [--public-key FILE] [--delta-from TREE]... <output-folder>
//
// Exit code 0 on success; otherwise one line on standard error and a non-zero code.
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tools/publish/CClientClock.h"
#include "tools/publish/CPackageReader.h"
#include "tools/publish/CPublishError.h"
#include "tools/publish/CPublisher.h"
#include "tools/publish/CRolloutControl.h"
#include "tools/publish/CSigningKey.h"
#include "tools/publish/CTreeVerifier.h"
#include "tools/publish/DeltaObjects.h"
#include "tools/publish/OpenSslVerify.h"
#include "verify/ReleaseRules.h"
#include "verify/ReleaseStatement.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage() {
    std::fputs(
        "usage: pelko-publish keygen <private-key-file> <public-key-file> | pelko-publish build "
        "[--clients-tz ZONE] [--sign-key FILE --product NAME --expires-days N "
        "[--rollout-days D]] [--strict] [--delta-from TREE]... <release-folder> <description.ini> "
        "<output-folder> | pelko-publish rollout hold|resume|stop --sign-key FILE "
        "<output-folder> | pelko-publish verify [--public-key FILE] [--delta-from TREE]... "
        "<output-folder>\n",
        stderr);
    return kUsage;
}

// Takes "--name value" and "--flag" from the front of args into options (a flag's value is
// empty); false for an unknown option or one without its value.
bool TakeOptions(std::vector<std::string>& args, std::map<std::string, std::string>& options,
                 const std::set<std::string>& known, const std::set<std::string>& flags = {}) {
    while (!args.empty() && args[0].starts_with("--")) {
        if (flags.count(args[0]) != 0) {
            options[args[0]];
            args.erase(args.begin());
            continue;
        }
        if (known.count(args[0]) == 0 || args.size() < 2) return false;
        options[args[0]] = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    return true;
}


std::optional<int> Days(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const int days = std::stoi(text);
    // The clients refuse a statement that expires further ahead.
    if (days < 1 || days > ReleaseRules::kMaxReleaseDays) return std::nullopt;
    return days;
}

// The signer of a build: a key names its product and an expiry, which mean nothing without one.
std::optional<CReleaseSigner> SignerOf(std::map<std::string, std::string>& options) {
    if (!options.count("--sign-key")) {
        for (const char* option : {"--product", "--expires-days", "--rollout-days"})
            if (options.count(option))
                throw CPublishError(std::string(option) + " needs --sign-key");
        return std::nullopt;
    }
    if (!options.count("--product"))
        throw CPublishError("--sign-key needs --product NAME, the product the clients are built for");
    if (!IsProductName(options["--product"]))
        throw CPublishError("--product takes 1 to 64 letters, digits, \".\", \"_\" or \"-\"");
    if (!options.count("--expires-days"))
        throw CPublishError("--sign-key needs --expires-days N, the days the release may be taken");
    const std::optional<int> days = Days(options["--expires-days"]);
    if (!days)
        throw CPublishError("--expires-days takes a number of days from 1 to " +
                            std::to_string(ReleaseRules::kMaxReleaseDays) +
                            " (PELKO_MAX_RELEASE_DAYS of the clients' build)");
    std::optional<uint32_t> rolloutDays;
    if (options.count("--rollout-days")) {
        const std::optional<int> rollout = Days(options["--rollout-days"]);
        if (!rollout || *rollout > static_cast<int>(ReleaseRollout::longestDays))
            throw CPublishError("--rollout-days takes a number of days from 1 to 30");
        rolloutDays = static_cast<uint32_t>(*rollout);
    }
    return CReleaseSigner(CSigningKey::Load(options["--sign-key"]), options["--product"], *days,
                          rolloutDays);
}

// Takes every "--delta-from TREE" out of args, the one option that may be repeated; one
// without its value is left for the usage to refuse.
std::vector<std::filesystem::path> TakeDeltaTrees(std::vector<std::string>& args) {
    std::vector<std::filesystem::path> trees;
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--delta-from" && i + 1 < args.size()) {
            trees.emplace_back(args[i + 1]);
            args.erase(args.begin() + static_cast<ptrdiff_t>(i),
                       args.begin() + static_cast<ptrdiff_t>(i + 2));
        } else {
            ++i;
        }
    }
    return trees;
}

int Keygen(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage();
    CSigningKey::Generate(args[0], args[1]);
    std::printf("pelko-publish: private key in %s (keep it secret), public key in %s\n",
                args[0].c_str(), args[1].c_str());
    return 0;
}

int Build(std::vector<std::string> args) {
    std::map<std::string, std::string> options;
    std::vector<std::filesystem::path> deltaTrees = TakeDeltaTrees(args);
    if (!TakeOptions(
            args, options,
            {"--clients-tz", "--sign-key", "--product", "--expires-days", "--rollout-days"},
            {"--strict"}))
        return Usage();
    const bool zoneGiven = options.count("--clients-tz") != 0;
    const std::string zone = zoneGiven ? options["--clients-tz"] : std::string();
    if (zoneGiven)
        if (auto problem = CClientClock::ZoneProblem(zone)) throw CPublishError(*problem);
    if (args.size() != 3) return Usage();
    std::optional<CReleaseSigner> signer = SignerOf(options);
    const bool signing = signer.has_value();
    if (deltaTrees.size() > DeltaObjects::mostPerEntry)
        throw CPublishError("--delta-from takes at most 5 earlier trees");
    if (!deltaTrees.empty() && !signer)
        throw CPublishError("--delta-from needs --sign-key: clients use deltas of signed trees only");
    CPublisher publisher{CClientClock(zone), std::move(signer)};
    publisher.SetDeltaFrom(std::move(deltaTrees));
    publisher.SetStrict(options.count("--strict") != 0);
    const CPublisher::Summary summary = publisher.Build(args[0], args[1], args[2]);
    for (const std::string& warning : summary.warnings)
        std::fprintf(stderr, "pelko-publish: warning: %s\n", warning.c_str());
    // Signed clients judge a file by its SHA-256 and their install record, never by its time.
    if (zoneGiven && signing)
        std::fprintf(stderr,
                     "pelko-publish: note: --clients-tz is not needed for a signed tree: clients "
                     "with update keys judge files by content, not by time\n");
    std::printf("pelko-publish: %zu files, %zu packages written, %zu kept, tree in %s\n",
                summary.files, summary.written, summary.files - summary.written, args[2].c_str());
    return 0;
}

int Rollout(std::vector<std::string> args) {
    if (args.empty()) return Usage();
    const std::optional<CRolloutControl::Action> action = CRolloutControl::ActionNamed(args[0]);
    args.erase(args.begin());
    std::map<std::string, std::string> options;
    if (!action || !TakeOptions(args, options, {"--sign-key"}) || !options.count("--sign-key") ||
        args.size() != 1)
        return Usage();
    const int64_t now = std::time(nullptr);
    const ReleaseStatement statement =
        CRolloutControl::Apply(args[0], CSigningKey::Load(options["--sign-key"]), *action, now);
    std::printf("pelko-publish: %s signed again as release %llu; %s\n", args[0].c_str(),
                static_cast<unsigned long long>(statement.serial),
                CRolloutControl::StateText(statement.rollout, now).c_str());
    return 0;
}

// The statement of a verified tree, for what verify prints of it.
std::optional<ReleaseStatement> StatementOf(const std::filesystem::path& tree) {
    CPackageReader reader(tree / (std::string(CTreeVerifier::manifestName) + ".zip"));
    if (reader.Count() < 2) return std::nullopt;
    const auto parsed = ParseStatement(reader.ReadEntry(1, ReleaseStatement::longestText));
    if (!parsed) return std::nullopt;
    return parsed->statement;
}

int Verify(std::vector<std::string> args) {
    std::map<std::string, std::string> options;
    const std::vector<std::filesystem::path> deltaTrees = TakeDeltaTrees(args);
    if (!TakeOptions(args, options, {"--public-key"}) || args.size() != 1) return Usage();
    std::vector<PublicKey> keys;
    if (options.count("--public-key"))
        keys = OpenSslVerify::LoadPublicKeys(options["--public-key"]);
    const size_t count = CTreeVerifier::Verify(args[0], keys);
    const size_t deltas = DeltaObjects::Verify(args[0], deltaTrees);
    std::printf("pelko-publish: %s verified%s, %zu packages", args[0].c_str(),
                keys.empty() ? "" : " and its signature checked", count);
    if (!deltaTrees.empty()) std::printf(", %zu deltas applied", deltas);
    std::printf("\n");
    if (!keys.empty())
        if (const auto statement = StatementOf(args[0]))
            std::printf("pelko-publish: release %llu, %s\n",
                        static_cast<unsigned long long>(statement->serial),
                        CRolloutControl::StateText(statement->rollout, std::time(nullptr)).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "keygen") return Keygen(args);
        if (command == "build") return Build(args);
        if (command == "verify") return Verify(args);
        if (command == "rollout") return Rollout(args);
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
